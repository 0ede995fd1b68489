// Chromium's "v11" values with a real keyring: a keyring daemon of the test's
// own on a session bus of the test's own, the browser's password stored with
// the command-line client, the values encrypted with the openssl command.

#include "browserprofiles.h"

#include "browsercookies/browsercookies.h"
#include "support/sandbox.h"
#include "support/testkeyring.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace quaylet;
using namespace quaylet::browsercookies;
using test::Shell;
using test::TestCookie;

namespace fs = std::filesystem;

namespace {

constexpr const char* kSite = "https://www.glimmerly.example";

// A "v11" value as the browser writes it from database version 24 on: the
// SHA-256 of the host, then the value, under the key derived from password.
std::string KeyringValue(const std::string& password, const std::string& host, const std::string& value)
{
    const std::string command =
        "key=$(openssl kdf -keylen 16 -kdfopt digest:SHA1 -kdfopt pass:'" + password +
        "' -kdfopt salt:saltysalt -kdfopt iter:1 PBKDF2 | tr -d :) && "
        "{ printf %s '" + host + "' | openssl dgst -sha256 -binary; printf %s '" + value +
        "'; } | openssl enc -aes-128-cbc -K \"$key\" -iv 20202020202020202020202020202020";
    const std::optional<std::string> cipher = Shell(command);
    return cipher ? "v11" + *cipher : std::string();
}

} // namespace

TEST(BrowserCookiesKeyringTest, KeyringValuesAreReadWhileTheKeyringIsOpenAndPassedOverOtherwise)
{
    for (const char* program : {test::MissingKeyringProgram(), test::Installed("openssl") ? nullptr : "openssl"})
        if (program != nullptr)
            GTEST_SKIP() << program << " is not installed: no keyring of the test's own";
    test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "the session bus did not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    ::setenv("XDG_DATA_HOME", test::SandboxPath("data").c_str(), 1);
    test::TestKeyring keyring;
    ASSERT_TRUE(keyring.ready()) << "the keyring daemon did not come up";
    ASSERT_TRUE(keyring.store("chromium", "chromium-own-7"));
    ASSERT_TRUE(keyring.store("chrome", "chrome-own-9"));

    const std::string config = test::SandboxPath("config");
    const auto signIn = [](const std::string& password) {
        return std::vector<TestCookie>{
            {.host = ".glimmerly.example",
             .name = "cookieusername",
             .created = 1,
             .encrypted = KeyringValue(password, ".glimmerly.example", "alice")},
            {.host = ".glimmerly.example",
             .name = "cookiepassword",
             .created = 2,
             .encrypted = KeyringValue(password, ".glimmerly.example", "wonder%6Cand")}};
    };
    test::MakeChromiumDatabase(config + "/chromium/Default/Cookies", signIn("chromium-own-7"), 24);
    test::MakeChromiumDatabase(config + "/google-chrome/Default/Cookies", signIn("chrome-own-9"), 24);

    std::vector<std::string> notes;
    const auto read = [&] {
        BrowserCookieSources sources = DefaultBrowserCookieSources();
        sources.note = [&](const std::string& line) { notes.push_back(line); };
        return BrowserCookieText(kSite, sources);
    };
    EXPECT_EQ(read(), "cookieusername=alice; cookiepassword=wonder%6Cand");
    EXPECT_TRUE(notes.empty());
    // Each browser's own item.
    fs::rename(config + "/chromium", config + "/chromium-away");
    EXPECT_EQ(read(), "cookieusername=alice; cookiepassword=wonder%6Cand");
    fs::rename(config + "/chromium-away", config + "/chromium");

    // Locked: nothing asks for the keyring's password, and the values are
    // passed over with a note each.
    ASSERT_TRUE(keyring.lock());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(notes.size(), 4u);
    for (const std::string& note : notes)
        EXPECT_NE(note.find("encrypted with the desktop keyring"), std::string::npos) << note;

    // No keyring on the bus, then no bus.
    keyring.stop();
    notes.clear();
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(notes.size(), 4u);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    notes.clear();
    EXPECT_EQ(read(), std::nullopt);
    EXPECT_EQ(notes.size(), 4u);
}
