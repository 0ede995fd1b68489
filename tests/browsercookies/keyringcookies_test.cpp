// Chromium's "v11" values with a real keyring: a keyring daemon of the test's
// own on a session bus of the test's own, the browser's password stored with
// the command-line client, the values encrypted with the openssl command.

#include "browserprofiles.h"

#include "browsercookies/browsercookies.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace quaylet;
using namespace quaylet::browsercookies;
using test::TestCookie;

namespace fs = std::filesystem;

namespace {

constexpr const char* kSite = "https://www.glimmerly.example";

bool Installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// Runs a shell command with `input` on its standard input; its standard
// output, or nothing when it fails.
std::optional<std::string> Shell(const std::string& command, const std::string& input = {})
{
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
    if (!process.waitForStarted(10000))
        return std::nullopt;
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QByteArray out = process.readAllStandardOutput();
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

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

// A child process stopped and waited for when the object goes.
class TestChild final {
  public:
    TestChild() = default;
    ~TestChild() { stop(); }
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

    QProcess& process() { return m_process; }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

  private:
    QProcess m_process;
};

// A session bus listening in the sandbox, with no services to start on
// demand: a keyring is there only while the test runs one.
class PrivateSessionBus final {
  public:
    PrivateSessionBus()
    {
        const std::string config = test::SandboxPath("bus.conf");
        test::WriteFile(config,
                        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                        "<busconfig><type>session</type><listen>unix:dir=" +
                            test::SandboxDir() +
                            "</listen><auth>EXTERNAL</auth>"
                            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        QProcess& daemon = m_daemon.process();
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                                     QStringLiteral("--config-file=") + QString::fromStdString(config)});
        QElapsedTimer timer;
        timer.start();
        while (!daemon.canReadLine() && timer.elapsed() < 10000 && daemon.state() != QProcess::NotRunning)
            daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(daemon.readLine()).trimmed().toStdString();
    }

    const std::string& address() const { return m_address; }

  private:
    TestChild m_daemon;
    std::string m_address;
};

// A keyring daemon serving the Secret Service, its login keyring made and
// unlocked with a password of the test's own under $XDG_DATA_HOME.
class TestKeyring final {
  public:
    TestKeyring()
    {
        QProcess& daemon = m_daemon.process();
        daemon.start(QStringLiteral("gnome-keyring-daemon"),
                     {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        // The daemon reads the password to the end before it serves; without
        // an event loop, the pipe is written only while waiting for it.
        daemon.waitForStarted(10000);
        daemon.write("keyring-of-the-test");
        daemon.waitForBytesWritten(10000);
        daemon.closeWriteChannel();
    }

    // Until the login keyring is there as the default, storing would ask the
    // user to make one.
    bool ready()
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            const auto alias = Shell("gdbus call --session --dest org.freedesktop.secrets --object-path "
                                     "/org/freedesktop/secrets --method org.freedesktop.Secret.Service.ReadAlias "
                                     "default");
            if (alias && alias->find("/collection/login") != std::string::npos)
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // Stores the browser's password.
    bool store(const std::string& application, const std::string& password)
    {
        return Shell("secret-tool store --label='Safe Storage' application " + application, password).has_value();
    }

    bool lock()
    {
        return Shell("gdbus call --session --dest org.freedesktop.secrets --object-path /org/freedesktop/secrets "
                     "--method org.freedesktop.Secret.Service.Lock "
                     "\"['/org/freedesktop/secrets/collection/login']\"")
            .has_value();
    }

    void stop() { m_daemon.stop(); }

  private:
    TestChild m_daemon;
};

} // namespace

TEST(BrowserCookiesKeyringTest, KeyringValuesAreReadWhileTheKeyringIsOpenAndPassedOverOtherwise)
{
    for (const char* program : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool", "gdbus", "openssl"})
        if (!Installed(program))
            GTEST_SKIP() << program << " is not installed: no keyring of the test's own";
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "the session bus did not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    ::setenv("XDG_DATA_HOME", test::SandboxPath("data").c_str(), 1);
    TestKeyring keyring;
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
