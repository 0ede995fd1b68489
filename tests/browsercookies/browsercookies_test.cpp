#include "browserprofiles.h"

#include "browsercookies/browsercookies.h"
#include "browsercookies/cookieheader.h"
#include "browsercookies/privatecopy.h"
#include "browsercookies/sqlitereader.h"
#include "platform/tempdir.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace quaylet;
using namespace quaylet::browsercookies;
using quaylet::platform::TempPath;
using test::TestCookie;

namespace fs = std::filesystem;

namespace {

constexpr const char* kSite = "https://www.glimmerly.example";

std::string Home()
{
    return test::SandboxPath("home");
}

std::string FirefoxFolder()
{
    return Home() + "/.mozilla/firefox";
}

std::string ChromiumUserData()
{
    return Home() + "/.config/chromium";
}

BrowserCookieSources Sources(std::vector<std::string>* notes = nullptr)
{
    BrowserCookieSources sources = BrowserCookieSourcesUnder(Home());
    if (notes != nullptr)
        sources.note = [notes](const std::string& line) { notes->push_back(line); };
    return sources;
}

std::string HexBytes(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

// Every file below a folder with its contents, to show that nothing changed.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().string()] = test::ReadFile(entry.path().string());
    return files;
}

} // namespace

TEST(BrowserCookiesTest, FirefoxCookiesAreSentAsABrowserSendsThem)
{
    const std::vector<TestCookie> cookies = {
        {.host = "www.glimmerly.example", .name = "host", .value = "1", .created = 30},
        {.host = ".glimmerly.example", .name = "domain", .value = "2", .created = 10},
        {.host = ".www.glimmerly.example", .name = "ownDomain", .value = "3", .created = 20},
        {.host = "glimmerly.example", .name = "bareHost", .value = "4", .created = 1},
        {.host = "api.glimmerly.example", .name = "otherHost", .value = "5", .created = 1},
        {.host = ".other.example", .name = "otherDomain", .value = "6", .created = 1},
        {.host = ".example", .name = "top", .value = "7", .created = 40},
        {.host = "www.glimmerly.example", .name = "gone", .value = "8", .expires = test::kLongAgo},
        {.host = "www.glimmerly.example", .name = "safe", .value = "9", .secure = true, .created = 5},
        {.host = "www.glimmerly.example", .name = "deep", .value = "10", .path = "/account", .created = 50},
        {.host = "WWW.Glimmerly.Example", .name = "cased", .value = "11", .created = 60},
        {.host = "www.glimmerly.example",
         .name = "container",
         .value = "12",
         .originAttributes = "^userContextId=1"},
        {.host = "www.glimmerly.example", .name = "", .value = "bare-value", .created = 70},
    };
    test::MakeFirefoxProfiles(FirefoxFolder(), {{"abc.default", cookies}});

    // Oldest first, all with path "/"; other hosts, expired, deeper paths and
    // containers are not sent, secure ones only over https.
    EXPECT_EQ(BrowserCookieText(kSite, Sources()),
              "safe=9; domain=2; ownDomain=3; host=1; top=7; cased=11; bare-value");
    EXPECT_EQ(BrowserCookieText("http://www.glimmerly.example", Sources()),
              "domain=2; ownDomain=3; host=1; top=7; cased=11; bare-value");
    EXPECT_EQ(BrowserCookieText("https://glimmerly.example", Sources()), "bareHost=4; domain=2; top=7");
    // A longer matching path goes first.
    EXPECT_EQ(BrowserCookieText("https://www.glimmerly.example/account/x", Sources()),
              "deep=10; safe=9; domain=2; ownDomain=3; host=1; top=7; cased=11; bare-value");

    EXPECT_EQ(BrowserCookieText("https://www.kestrelio.example", Sources()), "top=7");
    EXPECT_EQ(BrowserCookieText("https://glimmerly.test", Sources()), std::nullopt);
    EXPECT_EQ(BrowserCookieText("ftp://www.glimmerly.example", Sources()), std::nullopt);
    EXPECT_EQ(BrowserCookieText(kSite, BrowserCookieSourcesUnder(test::SandboxPath("nobody-home"))),
              std::nullopt);
}

TEST(BrowserCookiesTest, TheFirstProfileWithACookieForTheSiteGivesTheText)
{
    const TestCookie other{.host = ".kestrelio.example", .name = "k", .value = "1"};
    const TestCookie site{.host = ".glimmerly.example", .name = "g", .value = "second"};
    // The default profile (listed second) has none for the site; the next has.
    test::MakeFirefoxProfiles(FirefoxFolder(), {{"first.default", {other}}, {"second", {site}}});
    test::MakeFirefoxDatabase(FirefoxFolder() + "/third/cookies.sqlite",
                              {{.host = ".glimmerly.example", .name = "g", .value = "third"}});
    test::WriteFile(FirefoxFolder() + "/profiles.ini",
                    "[Profile1]\nName=b\nIsRelative=1\nPath=second\n\n"
                    "[Profile0]\nName=a\nIsRelative=1\nPath=first.default\nDefault=1\n\n"
                    "[Profile2]\nName=c\nIsRelative=0\nPath=" +
                        FirefoxFolder() + "/third\n");
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "g=second");
    EXPECT_EQ(BrowserCookieText("https://www.kestrelio.example", Sources()), "k=1");

    // The install's default profile comes before the one marked Default=1.
    test::WriteFile(FirefoxFolder() + "/profiles.ini",
                    "[Profile0]\nName=b\nIsRelative=1\nPath=second\nDefault=1\n\n"
                    "[Profile1]\nName=c\nIsRelative=0\nPath=" +
                        FirefoxFolder() +
                        "/third\n\n"
                        "[Install4F96D1932A9F858E]\nDefault=third\nLocked=1\n");
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "g=third");
    // The same from installs.ini; a path said to be absolute that is not
    // names nothing (rather than a folder under the working folder).
    test::WriteFile(FirefoxFolder() + "/profiles.ini",
                    "[Profile0]\nName=b\nIsRelative=1\nPath=second\nDefault=1\n\n"
                    "[Profile1]\nName=c\nIsRelative=0\nPath=" +
                        FirefoxFolder() + "/third\n");
    test::WriteFile(FirefoxFolder() + "/installs.ini", "[4F96D1932A9F858E]\nDefault=third\nLocked=1\n");
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "g=third");
    fs::create_directories("second");
    fs::copy_file(FirefoxFolder() + "/third/cookies.sqlite", "second/cookies.sqlite");
    test::WriteFile(FirefoxFolder() + "/installs.ini", "");
    test::WriteFile(FirefoxFolder() + "/profiles.ini",
                    "[Profile0]\nName=c\nIsRelative=0\nPath=second\nDefault=1\n\n"
                    "[Profile1]\nName=b\nIsRelative=1\nPath=second\n");
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "g=second");

    // The snap folder when the classic one has nothing for the site, and
    // Chromium only after every Firefox folder.
    fs::remove_all(FirefoxFolder());
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies",
                               {{.host = ".glimmerly.example", .name = "c", .value = "1"}}, 18);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=1");
    test::MakeFirefoxProfiles(Home() + "/snap/firefox/common/.mozilla/firefox", {{"snap", {site}}});
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "g=second");
}

TEST(BrowserCookiesTest, ChromiumValuesArePlainOrDecryptedWithTheFixedKey)
{
    // "p%40ss" under the fixed key; "alice" after the SHA-256 of ".glimmerly.example".
    const std::string plainCipher = "v10" + HexBytes("c378dcab92b5fdd483e55520eaa3860a");
    const std::string digestCipher =
        "v10" + HexBytes("3231fb8e3e883e87465745c91e2a4e107e20c731bb1ddba164c6b0d1f6e929f8"
                         "2481841bdac576dbc371a479d976744f");
    const std::string database = ChromiumUserData() + "/Default/Cookies";

    test::MakeChromiumDatabase(
        database,
        {{.host = ".glimmerly.example", .name = "plain", .value = "as is", .created = 1},
         {.host = ".glimmerly.example", .name = "fixed", .created = 2, .encrypted = plainCipher},
         {.host = ".glimmerly.example", .name = "keyring", .created = 3, .encrypted = "v11xxxxxxxxxxxxxxxx"},
         {.host = "www.glimmerly.example", .name = "session", .value = "s", .expires = 0, .created = 4},
         {.host = "www.glimmerly.example", .name = "gone", .value = "g", .expires = test::kLongAgo},
         {.host = "www.glimmerly.example", .name = "safe", .value = "x", .secure = true, .created = 5}},
        23);
    std::vector<std::string> notes;
    EXPECT_EQ(BrowserCookieText(kSite, Sources(&notes)), "plain=as is; fixed=p%40ss; session=s; safe=x");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("\"keyring\""), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("keyring"), std::string::npos);
    EXPECT_EQ(BrowserCookieText("http://www.glimmerly.example", Sources()),
              "plain=as is; fixed=p%40ss; session=s");

    // From version 24 on, the host's digest before the value is dropped.
    test::MakeChromiumDatabase(database,
                               {{.host = ".glimmerly.example", .name = "u", .encrypted = digestCipher}}, 24);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "u=alice");
}

TEST(BrowserCookiesTest, ChromiumProfilesDefaultFirstThenByName)
{
    const auto one = [](const char* value) {
        return std::vector<TestCookie>{{.host = ".glimmerly.example", .name = "c", .value = value}};
    };
    test::MakeChromiumDatabase(ChromiumUserData() + "/Profile 2/Cookies", one("p2"), 18);
    test::MakeChromiumDatabase(ChromiumUserData() + "/Profile 1/Network/Cookies", one("p1"), 21);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=p1");
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Network/Cookies", one("default"), 21);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=default");
    // Chromium before Chrome.
    test::MakeChromiumDatabase(Home() + "/.config/google-chrome/Default/Cookies", one("chrome"), 21);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=default");
    fs::remove_all(ChromiumUserData());
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=chrome");
}

TEST(BrowserCookiesTest, ALockedDatabaseIsReadFromACopyAndNothingOfTheProfileChanges)
{
    const std::string database = FirefoxFolder() + "/p.default/cookies.sqlite";
    test::MakeFirefoxProfiles(
        FirefoxFolder(),
        {{"p.default", {{.host = ".glimmerly.example", .name = "a", .value = "1", .created = 1}}}});
    test::TestDatabase browser(database);
    browser.exec("PRAGMA journal_mode=WAL");
    browser.exec("PRAGMA wal_autocheckpoint=0");
    // A newer cookie, committed but only in the write-ahead log.
    test::AddFirefoxCookies(browser,
                            {{.host = ".glimmerly.example", .name = "b", .value = "2", .created = 2}});
    // Like a running browser: the database stays locked against everyone else.
    browser.exec("PRAGMA locking_mode=EXCLUSIVE");
    browser.exec("BEGIN EXCLUSIVE");
    ASSERT_TRUE(fs::exists(database + "-wal"));

    const auto before = Snapshot(FirefoxFolder());
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "a=1; b=2");
    EXPECT_EQ(Snapshot(FirefoxFolder()), before);

    // The private copies are gone.
    ASSERT_FALSE(TempPath().empty());
    for (const auto& entry : fs::directory_iterator(TempPath()))
        EXPECT_EQ(entry.path().filename().string().find("cookies"), std::string::npos) << entry.path();

    browser.exec("COMMIT");
}

TEST(BrowserCookiesTest, AnUnreadableProfileIsPassedOver)
{
    test::MakeFirefoxProfiles(FirefoxFolder(),
                              {{"p.default", {{.host = ".glimmerly.example", .name = "f", .value = "1"}}}});
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies",
                               {{.host = ".glimmerly.example", .name = "c", .value = "2"}}, 18);
    const std::string profile = FirefoxFolder() + "/p.default";
    const int status = test::RunUnprivileged([&] {
        if (::chmod(profile.c_str(), 0) != 0)
            return false;
        const auto text = BrowserCookieText(kSite, Sources());
        ::chmod(profile.c_str(), 0700);
        return text == "c=2";
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "f=1");
}

// A page on any site can frame the service's site, whose cookies Chromium
// then keeps partitioned under the framing site: a top-level visit never
// sends them, so they must not count (else a framing page plants a sign-in).
TEST(BrowserCookiesTest, ChromiumSendsOnlyWhatATopLevelVisitWould)
{
    const auto cookie = [](const char* name, const char* key, bool crossSiteAncestor = false) {
        return TestCookie{.host = ".glimmerly.example",
                          .name = name,
                          .value = "1",
                          .created = static_cast<int64_t>(name[0]),
                          .topFrameSiteKey = key,
                          .crossSiteAncestor = crossSiteAncestor};
    };
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies",
                               {cookie("a", ""),
                                cookie("b", "https://attacker.example"),
                                cookie("c", "https://glimmerly.example"),
                                cookie("d", "https://www.glimmerly.example"),
                                cookie("e", "https://glimmerly.example", true),
                                cookie("f", "https://evilglimmerly.example"),
                                cookie("g", "http://glimmerly.example"),
                                cookie("h", "https://example")},
                               24);
    const struct {
        const char* address;
        std::string text;
    } cases[] = {
        {"https://www.glimmerly.example", "a=1; c=1; d=1"},
        {"https://glimmerly.example", "a=1; c=1"},
        {"http://www.glimmerly.example", "a=1; g=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserCookieText(c.address, Sources()), c.text) << c.address;

    // Databases from before partitions have no such column.
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies", {cookie("old", "")}, 15);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "old=1");
}

// Each place a browser keeps its profiles, alone in the home folder.
TEST(BrowserCookiesTest, EveryPlaceOfEachBrowserIsRead)
{
    const std::string config = test::SandboxPath("xdg-config");
    const std::vector<TestCookie> cookies = {{.host = ".glimmerly.example", .name = "c", .value = "1"}};
    const struct {
        std::string folder;
        bool firefox;
    } places[] = {
        {Home() + "/.mozilla/firefox", true},
        {config + "/mozilla/firefox", true},
        {Home() + "/snap/firefox/common/.mozilla/firefox", true},
        {Home() + "/snap/firefox/common/.config/mozilla/firefox", true},
        {Home() + "/.var/app/org.mozilla.firefox/.mozilla/firefox", true},
        {Home() + "/.var/app/org.mozilla.firefox/config/mozilla/firefox", true},
        {config + "/chromium", false},
        {Home() + "/snap/chromium/common/chromium", false},
        {Home() + "/.var/app/org.chromium.Chromium/config/chromium", false},
        {config + "/google-chrome", false},
    };
    for (const auto& place : places) {
        fs::remove_all(Home());
        fs::remove_all(config);
        if (place.firefox)
            test::MakeFirefoxProfiles(place.folder, {{"x.default-release", cookies}});
        else
            test::MakeChromiumDatabase(place.folder + "/Default/Cookies", cookies, 24);
        EXPECT_EQ(BrowserCookieText(kSite, BrowserCookieSourcesUnder(Home(), config)), "c=1") << place.folder;
    }

    // Without a configuration folder of its own, the home folder's .config;
    // the default sources follow $XDG_CONFIG_HOME.
    fs::remove_all(config);
    test::MakeFirefoxProfiles(Home() + "/.config/mozilla/firefox", {{"x", cookies}});
    EXPECT_EQ(BrowserCookieText(kSite, BrowserCookieSourcesUnder(Home())), "c=1");
    ::setenv("HOME", Home().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(BrowserCookieText(kSite, DefaultBrowserCookieSources()), std::nullopt);
    ::setenv("XDG_CONFIG_HOME", (Home() + "/.config").c_str(), 1);
    EXPECT_EQ(BrowserCookieText(kSite, DefaultBrowserCookieSources()), "c=1");
}

// A profile holding some other cookie for the site must not hide a later
// profile's wanted one; when no profile's text is wanted, the first text
// with a cookie for the site is given.
TEST(BrowserCookiesTest, TheFirstAcceptedTextIsTakenElseTheFirstText)
{
    test::MakeFirefoxProfiles(FirefoxFolder(),
                              {{"a.default", {{.host = ".glimmerly.example", .name = "visitor", .value = "1"}}},
                               {"b", {{.host = ".kestrelio.example", .name = "other", .value = "1"}}}});
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies",
                               {{.host = ".glimmerly.example", .name = "visitor", .value = "2"}}, 24);
    test::MakeChromiumDatabase(ChromiumUserData() + "/Profile 1/Cookies",
                               {{.host = ".glimmerly.example", .name = "wanted", .value = "3"}}, 24);
    BrowserCookieSources sources = Sources();
    sources.accept = [](const std::string& text) { return text.find("wanted=") != std::string::npos; };
    EXPECT_EQ(BrowserCookieText(kSite, sources), "wanted=3");
    EXPECT_EQ(BrowserCookieText("https://www.kestrelio.example", sources), "other=1");
    fs::remove_all(ChromiumUserData() + "/Profile 1");
    EXPECT_EQ(BrowserCookieText(kSite, sources), "visitor=1");
    EXPECT_EQ(BrowserCookieText("https://glimmerly.test", sources), std::nullopt);
}

// A FIFO where a database or its side file should be must not stall the
// start-up: that profile is passed over.
TEST(BrowserCookiesTest, AFifoInAProfileIsPassedOverWithoutWaiting)
{
    test::MakeFirefoxProfiles(FirefoxFolder(),
                              {{"a.default", {{.host = ".glimmerly.example", .name = "f", .value = "1"}}}});
    test::MakeChromiumDatabase(ChromiumUserData() + "/Default/Cookies",
                               {{.host = ".glimmerly.example", .name = "c", .value = "2"}}, 24);
    const std::vector<std::string> fifos = {FirefoxFolder() + "/a.default/cookies.sqlite-wal",
                                            ChromiumUserData() + "/Default/Cookies-journal"};
    for (const std::string& fifo : fifos)
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << fifo;

    auto text = std::async(std::launch::async, [] { return BrowserCookieText(kSite, Sources()); });
    const bool waited = text.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    // A reader blocked on a FIFO goes on once a writer comes and goes.
    while (text.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
        for (const std::string& fifo : fifos)
            if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                ::close(fd);
    ASSERT_FALSE(waited) << "reading the profiles waited on a FIFO";
    EXPECT_EQ(text.get(), std::nullopt);

    fs::remove(fifos[1]);
    EXPECT_EQ(BrowserCookieText(kSite, Sources()), "c=2");
}

// A browser that moves its log into the database while the pair is being
// copied leaves a copy that reads as damaged: the read is tried once more, on
// a fresh copy of the database and its log.
TEST(BrowserCookiesTest, AFailedReadIsTriedOnceMoreOnAFreshCopyOfThePair)
{
    const std::string database = FirefoxFolder() + "/p/cookies.sqlite";
    test::MakeFirefoxDatabase(database, {{.host = ".glimmerly.example", .name = "a", .value = "1"}});
    test::TestDatabase browser(database);
    browser.exec("PRAGMA journal_mode=WAL");
    browser.exec("PRAGMA wal_autocheckpoint=0");
    test::AddFirefoxCookies(browser, {{.host = ".glimmerly.example", .name = "b", .value = "2"}});

    std::vector<std::string> seen;
    const auto names = [&](const SqliteReader& db) {
        std::string text;
        db.forEachRow("SELECT name FROM moz_cookies ORDER BY name", [&](const SqliteRow& row) { text += row.text(0); });
        seen.push_back(text);
    };
    // The first copy fails to read; meanwhile the browser checkpoints and
    // writes on.
    EXPECT_TRUE(ReadPrivateCopy(database, [&](const SqliteReader& db) {
        names(db);
        if (seen.size() > 1)
            return true;
        browser.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        test::AddFirefoxCookies(browser, {{.host = ".glimmerly.example", .name = "c", .value = "3"}});
        return false;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"ab", "abc"}));

    seen.clear();
    EXPECT_FALSE(ReadPrivateCopy(database, [&](const SqliteReader& db) {
        names(db);
        return false;
    }));
    EXPECT_EQ(seen.size(), 2u);
}
