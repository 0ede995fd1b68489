#include "browserprofiles.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "credentials/cookiecredentials.h"
#include "credentials/credentialstore.h"
#include "credentials/profile.h"
#include "credentials/startupsignin.h"
#include "devserver/devserverprocess.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace quaylet;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string Repeat(const std::string& piece, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct ParseCase {
    std::string text;
    bool valid;
    std::string userName;
    std::string password;
};

} // namespace

TEST(CookieCredentialsTest, ParsesCookieTexts)
{
    const std::string thirtyOne(31, 'u');
    const ParseCase cases[] = {
        {"cookieusername=alice; cookiepassword=p%40ss", true, "alice", "p@ss"},
        {"COOKIEUSERNAME=alice;CookiePassword=pw", true, "alice", "pw"},
        {"  cookieusername \t=  alice  ;\tcookiepassword = pw \n", true, "alice", "pw"},
        {"other=1; cookiepassword=pw; cookieusername=alice; more=2", true, "alice", "pw"},
        // The scan ends at an empty segment.
        {"x=1;;cookieusername=alice;cookiepassword=pw", false, "", ""},
        {";cookieusername=alice;cookiepassword=pw", false, "", ""},
        // A blank segment is not empty; a trailing ";" ends the text.
        {"cookieusername=alice; ; cookiepassword=pw;", true, "alice", "pw"},
        // A segment without "=" is skipped; a value may hold "=".
        {"junk; cookieusername=alice; cookiepassword=a=b", true, "alice", "a=b"},
        // The last occurrence wins.
        {"cookieusername=bob; cookiepassword=pw; cookieusername=alice", true, "alice", "pw"},
        {"cookieusername=" + thirtyOne + "; cookiepassword=pw", false, thirtyOne, "pw"},
        {"cookieusername=; cookiepassword=pw", false, "", "pw"},
        {"cookieusername=alice", false, "alice", ""},
        {"session=abc; theme=dark", false, "", ""},
        // Decoded: several bytes to one character, a stray "%" kept.
        {"cookieusername=%C3%A9l%C3%A8ve; cookiepassword=100%", true, "\xC3\xA9l\xC3\xA8ve", "100%"},
        // A value that does not fit 260 bytes, or is not text, is ignored;
        // 259 bytes fit (and are then too long for a user name).
        {"cookieusername=alice; cookieusername=" + std::string(260, 'x') + "; cookiepassword=pw", true,
         "alice", "pw"},
        {"cookieusername=alice; cookieusername=" + Repeat("%78", 260) + "; cookiepassword=pw", true, "alice",
         "pw"},
        {"cookieusername=alice; cookieusername=" + std::string(259, 'x') + "; cookiepassword=pw", false,
         std::string(259, 'x'), "pw"},
        {"cookieusername=alice; cookieusername=%FFbob; cookiepassword=pw", true, "alice", "pw"},
    };
    for (const ParseCase& c : cases) {
        CProfile profile;
        EXPECT_EQ(ParseCookieCredentials(profile, c.text), c.valid) << c.text;
        EXPECT_EQ(profile.m_userName, c.userName) << c.text;
        EXPECT_EQ(profile.m_password, c.password) << c.text;
    }
}

TEST(CookieCredentialsTest, ReadingLogsTheOutcomeAndSavesWhatItFound)
{
    OpenLog("Quaylet.log");
    const auto reader = [](std::optional<std::string> text) {
        return [text](const std::string&) { return text; };
    };
    CProfile profile("stale", "stale");
    EXPECT_FALSE(ReadCookieCredentials(profile, kFixedSiteAddress, reader(std::nullopt)));
    EXPECT_EQ(profile.m_userName, "");
    EXPECT_EQ(profile.m_password, "");
    EXPECT_TRUE(Contains(test::ReadFile("Quaylet.log"),
                         "CKestrelioClientDlg: cookie not found for https://www.glimmerly.example\r\n"));

    EXPECT_FALSE(ReadCookieCredentials(profile, kFixedBareSiteAddress, reader("cookieusername=alice")));
    EXPECT_TRUE(Contains(test::ReadFile("Quaylet.log"),
                         "CKestrelioClientDlg: failed to parse cookie for https://glimmerly.example\r\n"));
    CProfile stored;
    EXPECT_FALSE(LoadCredentials(stored, kFixedSiteAddress));

    EXPECT_TRUE(ReadCookieCredentials(profile, kFixedEarlierSiteAddress,
                                      reader("cookieusername=alice; cookiepassword=won%64erland")));
    EXPECT_EQ(profile.m_password, "wonderland");
    EXPECT_TRUE(
        Contains(test::ReadFile("Quaylet.log"),
                 "CKestrelioClientDlg: succeeded to parse cookie for https://www.kestrelio.example\r\n"));
    ASSERT_TRUE(LoadCredentials(stored, kFixedSiteAddress));
    EXPECT_EQ(stored.m_userName, "alice");
    EXPECT_EQ(stored.m_password, "wonderland");
}

TEST(CookieCredentialsTest, SourcesAskForTheRealSitesWhateverTheServiceOverride)
{
    ::setenv(kServiceUrlVariable, "http://127.0.0.1:1", 1);
    std::vector<std::string> asked;
    const auto sources = CookieCredentialSources([&](const std::string& site) {
        asked.push_back(site);
        return std::optional<std::string>();
    });
    CProfile profile;
    for (const CredentialSource& source : sources)
        EXPECT_FALSE(source(profile));
    EXPECT_EQ(asked,
              (std::vector<std::string>{kFixedSiteAddress, kFixedBareSiteAddress, kFixedEarlierSiteAddress}));
}

TEST(CookieCredentialsTest, OnlyABrowserCookieSignsInAtStartupAndIsSaved)
{
    OpenLog("Quaylet.log");
    test::DevServerProcess server(test::SandboxPath("data"));
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, server.origin().c_str(), 1);
    const std::string home = test::SandboxPath("home");
    ::setenv("HOME", home.c_str(), 1);

    // The current site's cookie is keyring-encrypted and passed over; the
    // bare site's host cookies sign in.
    test::MakeChromiumDatabase(
        test::SandboxPath("config") + "/chromium/Default/Cookies",
        {{.host = "www.glimmerly.example", .name = "cookieusername", .encrypted = "v11xxxxxxxxxxxxxxxx"},
         {.host = "glimmerly.example", .name = "cookieusername", .value = "alice", .created = 1},
         {.host = "glimmerly.example", .name = "cookiepassword", .value = "wonder%6Cand", .created = 2}},
        24);
    std::vector<CredentialSource> sources = StoredCredentialSources();
    for (CredentialSource& source : CookieCredentialSources())
        sources.push_back(std::move(source));

    CProfile profile;
    const StartupSignInResult result = SignInAtStartup(profile, sources);
    EXPECT_TRUE(result.signedIn()) << result.errorText;
    EXPECT_EQ(profile.m_userName, "alice");
    EXPECT_EQ(profile.m_password, "wonderland");
    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_TRUE(Contains(log, "encrypted with the desktop keyring")) << log;
    EXPECT_TRUE(Contains(log, "CKestrelioClientDlg: cookie not found for https://www.glimmerly.example"))
        << log;
    EXPECT_TRUE(Contains(log, "CKestrelioClientDlg: succeeded to parse cookie for https://glimmerly.example"))
        << log;
    EXPECT_FALSE(Contains(log, "Prompting user")) << log;

    CProfile stored;
    ASSERT_TRUE(LoadCredentials(stored, kFixedSiteAddress));
    EXPECT_EQ(stored.m_userName, "alice");
    EXPECT_EQ(stored.m_password, "wonderland");
}

// The client's start-up sign-in from a browser cookie copies the browser's
// database (password and all) into the temporary folder to read it: the copy
// must be gone afterwards, and neither the password nor its sign-in hash may
// reach the log or be stored in plain text.
TEST(CookieCredentialsTest, StartupSignInLeavesThePasswordNowhere)
{
    const std::string password = "Quokka-7-Secret";
    const std::string config = test::SandboxPath("service.conf");
    test::WriteFile(config, "[account alice]\npassword = " + password + "\n");
    OpenLog("Quaylet.log");
    test::DevServerProcess server(test::SandboxPath("data"), {"--config", config});
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, server.origin().c_str(), 1);
    const std::string home = test::SandboxPath("home");
    ::setenv("HOME", home.c_str(), 1);
    test::MakeFirefoxProfiles(home + "/.mozilla/firefox",
                              {{"a.default", {{.host = ".glimmerly.example", .name = "cookieusername", .value = "alice"},
                                              {.host = ".glimmerly.example", .name = "cookiepassword", .value = password}}}});

    CProfile profile;
    const StartupSignInResult result = SignInAtStartup(profile, CookieCredentialSources());
    ASSERT_TRUE(result.signedIn()) << result.errorText;
    ASSERT_EQ(profile.m_password, password);

    const std::vector<std::string> secrets = {password, PasswordHash(password)};
    std::vector<std::string> places = {"Quaylet.log", CredentialStore::FilePath(CredentialStore::Current)};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("TMPDIR")))
        if (entry.is_regular_file())
            places.push_back(entry.path().string());
    for (const std::string& place : places)
        for (const std::string& secret : secrets)
            EXPECT_FALSE(Contains(test::ReadFile(place), secret)) << place << " holds " << secret;
}

// Firefox (asked first) holds only a visitor cookie for the site; Chromium
// holds the sign-in: Chromium's cookies sign in, for the same address.
TEST(CookieCredentialsTest, AnotherBrowsersCookieForTheSiteDoesNotHideTheSignIn)
{
    OpenLog("Quaylet.log");
    const std::string home = test::SandboxPath("home");
    ::setenv("HOME", home.c_str(), 1);
    test::MakeFirefoxProfiles(home + "/.mozilla/firefox",
                              {{"a.default", {{.host = ".glimmerly.example", .name = "visitor", .value = "1"}}}});
    test::MakeChromiumDatabase(
        test::SandboxPath("config") + "/chromium/Default/Cookies",
        {{.host = ".glimmerly.example", .name = "cookieusername", .value = "alice", .created = 1},
         {.host = ".glimmerly.example", .name = "cookiepassword", .value = "wonderland", .created = 2}},
        24);

    CProfile profile;
    EXPECT_TRUE(ReadCookieCredentials(profile, kFixedSiteAddress));
    EXPECT_EQ(profile.m_userName, "alice");
    EXPECT_EQ(profile.m_password, "wonderland");
    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_TRUE(Contains(log, "CKestrelioClientDlg: succeeded to parse cookie for https://www.glimmerly.example"))
        << log;
    EXPECT_FALSE(Contains(log, "failed to parse")) << log;
}
