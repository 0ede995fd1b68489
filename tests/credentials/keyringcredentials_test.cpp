// The password in a real keyring: a keyring daemon of the test's own on a
// session bus of the test's own, looked into with the command-line client.

#include "api/endpoints.h"
#include "core/logfile.h"
#include "credentials/credentialstore.h"
#include "credentials/passwordkeyring.h"
#include "credentials/profile.h"
#include "support/sandbox.h"
#include "support/testkeyring.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace quaylet;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string StoreFile()
{
    return test::ReadFile(CredentialStore::FilePath(CredentialStore::Current));
}

// A bus and a keyring of the test's own, and the credentials pointed at them.
class KeyringCredentialsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (const char* missing = test::MissingKeyringProgram())
            GTEST_SKIP() << missing << " is not installed: no keyring of the test's own";
        m_bus = std::make_unique<test::PrivateSessionBus>();
        ASSERT_FALSE(m_bus->address().empty()) << "the session bus did not start";
        ::setenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().c_str(), 1);
        ::setenv("XDG_DATA_HOME", test::SandboxPath("data").c_str(), 1);
        ::unsetenv("QUAYLET_CREDENTIAL_STORE");
        m_keyring = std::make_unique<test::TestKeyring>();
        ASSERT_TRUE(m_keyring->ready()) << "the keyring daemon did not come up";
        OpenLog("Quaylet.log");
        SetCredentialKeyringForTesting(MakeDesktopKeyring());
    }

    void TearDown() override
    {
        SetCredentialKeyringForTesting(nullptr);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    // The library files the service under "server" and the account under "user".
    std::string inKeyring() { return m_keyring->search("server", kKeyringService); }

    std::unique_ptr<test::PrivateSessionBus> m_bus;
    std::unique_ptr<test::TestKeyring> m_keyring;
};

} // namespace

TEST_F(KeyringCredentialsTest, TheKeyringHoldsThePasswordUntilLogout)
{
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    const std::string item = inKeyring();
    EXPECT_TRUE(Contains(item, "wonderland")) << item;
    EXPECT_TRUE(Contains(item, std::string("alice@") + kFixedSiteAddress)) << item;
    const std::string file = StoreFile();
    EXPECT_TRUE(Contains(file, "szUsername=alice")) << file;
    EXPECT_FALSE(Contains(file, "szPassword")) << file;

    // The next start reads it back.
    CProfile loaded;
    ASSERT_TRUE(LoadCredentials(loaded, kFixedSiteAddress));
    EXPECT_EQ(loaded.m_userName, "alice");
    EXPECT_EQ(loaded.m_password, "wonderland");

    // Logout: gone from the keyring, and nothing left to sign in with.
    ASSERT_TRUE(ForgetCredentials("alice"));
    EXPECT_FALSE(Contains(inKeyring(), "wonderland"));
    EXPECT_FALSE(LoadCredentials(loaded, kFixedSiteAddress));
    EXPECT_FALSE(Contains(test::ReadFile("Quaylet.log"), "wonderland"));
}

TEST_F(KeyringCredentialsTest, AFilePasswordMovesToTheKeyringOnlyOnceTheKeyringHasIt)
{
    struct Case {
        const char* name;
        bool keyringRunning;
        bool fileForced;
        bool moved;
    };
    for (const Case& c : {Case{"keyring open", true, false, true}, Case{"file store forced", true, true, false},
                          Case{"keyring gone from the bus", false, false, false}}) {
        SCOPED_TRACE(c.name);
        if (!c.keyringRunning)
            m_keyring->stop();
        if (c.fileForced)
            ::setenv("QUAYLET_CREDENTIAL_STORE", "file", 1);
        SetCredentialKeyringForTesting(MakeDesktopKeyring());
        // An earlier version's file, its password scrambled.
        const std::string path = CredentialStore::FilePath(CredentialStore::Current);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        test::WriteFile(path, "[General]\nszUsername=bob\nszPassword=" + ScramblePassword("builder-7") + "\n");

        CProfile loaded;
        ASSERT_TRUE(LoadCredentials(loaded, kFixedSiteAddress));
        EXPECT_EQ(loaded.m_password, "builder-7");
        EXPECT_EQ(Contains(StoreFile(), "szPassword"), !c.moved) << StoreFile();
        if (c.keyringRunning) {
            EXPECT_EQ(Contains(inKeyring(), "builder-7"), c.moved);
        }
        // The file works as it did, whichever store holds the password now.
        ASSERT_TRUE(LoadCredentials(loaded, kFixedSiteAddress));
        EXPECT_EQ(loaded.m_password, "builder-7");
        ::unsetenv("QUAYLET_CREDENTIAL_STORE");
        ASSERT_TRUE(ForgetCredentials("bob"));
    }
    // Without a keyring, one line says why, however often the store is used.
    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_EQ(Occurrences(log, "Credentials: no keyring ("), 1u) << log;
    EXPECT_EQ(Occurrences(log, "QUAYLET_CREDENTIAL_STORE=file"), 1u) << log;
}

TEST(KeyringCredentialsNoBusTest, WithoutASessionBusThePasswordStaysInTheFile)
{
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DISPLAY"); // nor a bus started for the display
    ::unsetenv("QUAYLET_CREDENTIAL_STORE");
    OpenLog("Quaylet.log");
    SetCredentialKeyringForTesting(MakeDesktopKeyring());

    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    EXPECT_TRUE(Contains(StoreFile(), "szPassword=" + ScramblePassword("wonderland")));
    CProfile loaded;
    ASSERT_TRUE(LoadCredentials(loaded, kFixedSiteAddress));
    EXPECT_EQ(loaded.m_password, "wonderland");
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_EQ(Occurrences(log, "Credentials: no keyring ("), 1u) << log;
    SetCredentialKeyringForTesting(nullptr);
}

TEST_F(KeyringCredentialsTest, ALockedKeyringLeavesTheUserToBeAskedWithoutWaiting)
{
    ASSERT_TRUE(SaveCredentials(CProfile("alice", "wonderland")));
    ASSERT_TRUE(m_keyring->lock());
    // No prompter can start on this bus; a locked item reads as missing.
    const auto started = std::chrono::steady_clock::now();
    CProfile loaded;
    for (const char* site : {kFixedSiteAddress, kFixedBareSiteAddress, kFixedEarlierSiteAddress})
        EXPECT_FALSE(LoadCredentials(loaded, site));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    // Nothing in the file to sign in with either: the sign-in dialog asks.
    const std::string file = StoreFile();
    EXPECT_TRUE(Contains(file, "szUsername=alice")) << file;
    EXPECT_FALSE(Contains(file, "szPassword")) << file;
}
