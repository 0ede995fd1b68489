#include "api/endpoints.h"
#include "core/logfile.h"
#include "credentials/credentialstore.h"
#include "credentials/profile.h"
#include "credentials/startupsignin.h"
#include "devserver/devserverprocess.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

using namespace quaylet;

namespace {

void WriteStore(CredentialStore::Which which, const std::string& user, const std::string& password)
{
    const std::string path = CredentialStore::FilePath(which);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::WriteFile(path, "[General]\nszUsername=" + user + "\nszPassword=" + password + "\n");
}

StoredValues ReadStore(CredentialStore::Which which)
{
    return CredentialStore(which).read();
}

std::string ScrambleWith(const std::string& password, const char* site)
{
    return ScramblePasswordWithSite(password, site);
}

bool IsLowerHex(const std::string& s)
{
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

TEST(ScrambleTest, RoundTripsAndFormat)
{
    const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
    ASSERT_EQ(thirty.size(), 30u);
    for (const std::string& password : {std::string(), std::string("secret"), thirty, std::string("p\xC3\xA4ss w\xC3\xB6rd")}) {
        const std::string text = ScramblePassword(password);
        EXPECT_EQ(text.size(), 256u);
        EXPECT_TRUE(IsLowerHex(text)) << text;
        std::string back = "stale";
        ASSERT_TRUE(UnscramblePassword(text, back, kFixedSiteAddress));
        EXPECT_EQ(back, password);
        // Capital digits read the same.
        std::string upper = text;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_TRUE(UnscramblePassword(upper, back, kFixedSiteAddress));
        EXPECT_EQ(back, password);
    }
    // The empty password is 128 zero bytes in ECB: sixteen equal blocks.
    const std::string empty = ScramblePassword("");
    for (std::size_t i = 16; i < 256; i += 16)
        EXPECT_EQ(empty.substr(i, 16), empty.substr(0, 16));
    // A different site address is a different key.
    std::string other;
    ASSERT_TRUE(UnscramblePassword(ScramblePassword("secret"), other, kFixedBareSiteAddress));
    EXPECT_NE(other, "secret");
    // The override never changes the key.
    ::setenv(kServiceUrlVariable, "http://127.0.0.1:1", 1);
    EXPECT_EQ(ScramblePassword("secret"), (::unsetenv(kServiceUrlVariable), ScramblePassword("secret")));

    char small[256];
    EXPECT_FALSE(ScramblePassword("x", small, sizeof small));
    char exact[257];
    ASSERT_TRUE(ScramblePassword("x", exact, sizeof exact));
    EXPECT_EQ(std::string(exact), ScramblePassword("x"));

    std::string out = "kept";
    EXPECT_FALSE(UnscramblePassword(std::string(258, 'a'), out, kFixedSiteAddress));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(UnscramblePassword(ScramblePassword("x") + "0", out, kFixedSiteAddress));
    EXPECT_EQ(out, "x");
}

TEST(ScrambleTest, PasswordHashIsFortyLowerCaseDigits)
{
    EXPECT_EQ(PasswordHash(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(PasswordHash("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    const std::string h = PasswordHash("p\xC3\xA4ss");
    EXPECT_EQ(h.size(), 40u);
    EXPECT_TRUE(IsLowerHex(h));
}

TEST(ProfileTest, ValidityRule)
{
    struct Case {
        std::string user, password;
        bool valid;
    };
    const std::string thirty(30, 'a');
    const std::string thirtyUmlauts = [] {
        std::string s;
        for (int i = 0; i < 30; ++i)
            s += "\xC3\xA4";
        return s;
    }();
    for (const Case& c : {Case{"alice", "pw", true}, Case{"", "pw", false}, Case{"alice", "", false},
                          Case{thirty, thirty, true}, Case{thirty + "a", "pw", false}, Case{"alice", thirty + "a", false},
                          Case{thirtyUmlauts, "pw", true}, Case{"alice", "p\xFFw", false}, Case{"alice", "p\x01w", false},
                          Case{"alice", "p\xC2\x85w", false}, Case{"ali\xC3", "pw", false}}) {
        EXPECT_EQ(CProfile(c.user, c.password).IsValid(), c.valid) << c.user << " / " << c.password;
    }
}

TEST(StoredCredentialsTest, SaveWritesScrambledOwnerOnlyFile)
{
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    const std::string path = CredentialStore::FilePath(CredentialStore::Current);
    EXPECT_EQ(path, test::SandboxPath("config/Glimmerly.conf"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const StoredValues v = ReadStore(CredentialStore::Current);
    EXPECT_EQ(v.userName, "alice");
    EXPECT_EQ(v.password, ScramblePassword("wonderland"));
    EXPECT_EQ(test::ReadFile(path).find("wonderland"), std::string::npos);

    CProfile loaded;
    ASSERT_TRUE(LoadCredentials(loaded, kFixedSiteAddress));
    EXPECT_EQ(loaded.m_userName, "alice");
    EXPECT_EQ(loaded.m_password, "wonderland");
}

// A permissive umask (0, as some desktop sessions set) must not open the
// credentials to other users, whichever way the file comes to be written.
TEST(StoredCredentialsTest, OwnerOnlyEvenUnderAPermissiveUmask)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<bool()> act;
    } cases[] = {
        {"a first save", [] {}, [] { return SaveCredentials(CProfile("alice", "wonderland")); }},
        {"a plain stored password scrambled in place",
         [] {
             WriteStore(CredentialStore::Current, "alice", "wonderland");
             ::chmod(CredentialStore::FilePath(CredentialStore::Current).c_str(), 0666);
         },
         [] {
             CProfile p;
             return LoadCredentials(p, kFixedSiteAddress);
         }},
        {"credentials moved over from the earlier store",
         [] { WriteStore(CredentialStore::Earlier, "alice", ScrambleWith("wonderland", kFixedEarlierSiteAddress)); },
         [] {
             CProfile p;
             return LoadCredentials(p, kFixedSiteAddress);
         }},
    };
    const std::string folder = test::SandboxPath("config");
    const std::string path = CredentialStore::FilePath(CredentialStore::Current);
    const mode_t saved = ::umask(0);
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder);
        c.arrange();
        ASSERT_TRUE(c.act()) << c.what;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << c.what;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
        EXPECT_EQ(ReadStore(CredentialStore::Current).password, ScramblePassword("wonderland")) << c.what;
    }
    // A configuration folder the save had to make is not open to others either.
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
    ::umask(saved);
}

TEST(StoredCredentialsTest, MigrationMatrix)
{
    const std::string thirtyOne(31, 'u');
    const std::string p32(32, 'p'), p33(33, 'p');
    struct Case {
        const char* what;
        const char* currentUser; // nullptr: no current store
        std::string currentPassword;
        const char* earlierUser; // nullptr: no earlier store
        std::string earlierPassword;
        bool loaded;
        std::string user, password;  // expected profile when loaded
        bool currentRewritten;       // the current store holds user/password scrambled afterwards
    };
    const std::string earlierScrambled = ScrambleWith("oldpw", kFixedEarlierSiteAddress);
    const Case cases[] = {
        {"current scrambled", "alice", ScramblePassword("pw"), nullptr, "", true, "alice", "pw", true},
        {"current plain is scrambled in place", "alice", "plainpw", nullptr, "", true, "alice", "plainpw", true},
        {"32 characters count as plain (too long to be valid)", "alice", p32, nullptr, "", false, "", "", false},
        {"33 characters are unscrambled", "alice", p33, nullptr, "", false, "", "", false},
        {"user name of 31 falls back to the earlier store", thirtyOne.c_str(), ScramblePassword("pw"), "bob",
         earlierScrambled, true, "bob", "oldpw", true},
        {"only the earlier store, scrambled", nullptr, "", "bob", earlierScrambled, true, "bob", "oldpw", true},
        {"only the earlier store, plain", nullptr, "", "bob", "plainold", true, "bob", "plainold", true},
        {"earlier store invalid", nullptr, "", "", "plainold", false, "", "", false},
        {"nothing stored", nullptr, "", nullptr, "", false, "", "", false},
        {"wrong length and non-hex digits", "alice", std::string(40, 'z'), nullptr, "", false, "", "", false},
        {"current has precedence", "alice", ScramblePassword("pw"), "bob", earlierScrambled, true, "alice", "pw", true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(test::SandboxPath("config"));
        if (c.currentUser != nullptr)
            WriteStore(CredentialStore::Current, c.currentUser, c.currentPassword);
        if (c.earlierUser != nullptr)
            WriteStore(CredentialStore::Earlier, c.earlierUser, c.earlierPassword);
        const std::string earlierBefore =
            c.earlierUser != nullptr ? test::ReadFile(CredentialStore::FilePath(CredentialStore::Earlier)) : "";
        CProfile profile;
        EXPECT_EQ(LoadCredentials(profile, kFixedSiteAddress), c.loaded) << c.what;
        if (c.loaded) {
            EXPECT_EQ(profile.m_userName, c.user) << c.what;
            EXPECT_EQ(profile.m_password, c.password) << c.what;
        }
        if (c.currentRewritten) {
            const StoredValues v = ReadStore(CredentialStore::Current);
            EXPECT_EQ(v.userName, c.user) << c.what;
            EXPECT_EQ(v.password, ScramblePassword(c.password)) << c.what;
        }
        if (c.earlierUser != nullptr)
            EXPECT_EQ(test::ReadFile(CredentialStore::FilePath(CredentialStore::Earlier)), earlierBefore)
                << "the earlier store is only read: " << c.what;
        else
            EXPECT_FALSE(std::filesystem::exists(CredentialStore::FilePath(CredentialStore::Earlier))) << c.what;
    }
}

TEST(StoredCredentialsTest, LogOutFallsBackToTheEarlierStore)
{
    WriteStore(CredentialStore::Earlier, "bob", "plainold");
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "pw")));
    ASSERT_TRUE(SaveCredentials(CProfile())); // log-out
    const StoredValues v = ReadStore(CredentialStore::Current);
    EXPECT_EQ(v.userName, "");
    EXPECT_EQ(v.password, ScramblePassword(""));
    CProfile profile;
    ASSERT_TRUE(LoadCredentials(profile, kFixedSiteAddress));
    EXPECT_EQ(profile.m_userName, "bob");
}

TEST(StoredCredentialsTest, ValuesOfTheWrongTypeOrLengthCountAsMissing)
{
    const std::string path = CredentialStore::FilePath(CredentialStore::Current);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::WriteFile(path, "[General]\nszUsername=@ByteArray(alice)\nszPassword=" + ScramblePassword("pw") + "\n");
    EXPECT_EQ(ReadStore(CredentialStore::Current).userName, "");
    test::WriteFile(path, "[General]\nszUsername=alice\nszPassword=" + std::string(260, 'a') + "\n");
    const StoredValues v = ReadStore(CredentialStore::Current);
    EXPECT_EQ(v.userName, "alice");
    EXPECT_EQ(v.password, "");
    CProfile profile;
    EXPECT_FALSE(LoadCredentials(profile, kFixedSiteAddress));
}

TEST(StartupSignInTest, StoredCredentialsSignInAgainstTheDevelopmentService)
{
    OpenLog("Quaylet.log");
    test::DevServerProcess server(test::SandboxPath("data"));
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, server.origin().c_str(), 1);

    // Stored under the bare address's key: the first source fails, the second signs in.
    WriteStore(CredentialStore::Current, "alice", ScrambleWith("wonderland", kFixedBareSiteAddress));
    StartupSignInResult r = SignInAtStartup(CurrentProfile(), StoredCredentialSources());
    EXPECT_TRUE(r.signedIn()) << r.errorText;
    EXPECT_EQ(CurrentProfile().m_userName, "alice");
    EXPECT_EQ(CurrentProfile().m_password, "wonderland");
    std::string log = test::ReadFile("Quaylet.log");
    EXPECT_NE(log.find("CKestrelioClientDlg: Reading cookie for user info"), std::string::npos);
    EXPECT_EQ(log.find("Prompting user"), std::string::npos);

    // A stored password the service refuses: the caller is told to ask the user.
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "not-it")));
    CProfile other;
    r = SignInAtStartup(other, StoredCredentialSources());
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.signIn, -4);
    EXPECT_EQ(r.errorText, "Invalid username or password");
    log = test::ReadFile("Quaylet.log");
    EXPECT_NE(log.find("CKestrelioClientDlg: failed to read cookie. Prompting user"), std::string::npos);

    // Nothing stored at all.
    std::filesystem::remove_all(test::SandboxPath("config"));
    r = SignInAtStartup(other, StoredCredentialSources());
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(r.signedIn());
}
