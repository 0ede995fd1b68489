// The client program itself on a private X server, met as a user meets it:
// signed in against the development service, on a D-Bus session of its own,
// files dragged onto its window by another X client, keys typed into it.

#include "engine/enginetestsupport.h"
#include "mainwindowfixture.h"
#include "support/sandbox.h"
#include "support/xcbdisplay.h"
#include "xdndsource.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace quaylet::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

// The client as its own process, with what it needs beside it.
class ClientBinaryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XcbUnavailable().empty())
            GTEST_SKIP() << XcbUnavailable();
        for (const char* program : {"dbus-daemon", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                GTEST_SKIP() << program << " is not installed";
        }
        m_fixture = std::make_unique<MainWindowFixture>();
        m_fixture->StoreCredentials();

        // A session bus of its own, so the client meets no desktop service of the machine.
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        ASSERT_TRUE(m_bus.waitForStarted(5000));
        ASSERT_TRUE(m_bus.waitForReadyRead(10000));
        const QString busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();

        const std::string folder = SandboxPath("client");
        fs::create_directories(folder);
        // Pages the client opens are noted, never shown.
        WriteFile(folder + "/browser", "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/pages\"\n");
        fs::permissions(folder + "/browser", fs::perms::owner_all);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("BROWSER"), QString::fromStdString(folder + "/browser"));
        env.remove(QStringLiteral("QUAYLET_LOG_STDERR"));
        m_client.setProcessEnvironment(env);
        m_client.setWorkingDirectory(QString::fromStdString(folder));
        launch();
    }

    // Starts the client and waits for its drop window.
    void launch()
    {
        m_client.start(QStringLiteral(QUAYLET_CLIENT_PATH), QStringList{});
        ASSERT_TRUE(m_client.waitForStarted(5000));
        ASSERT_TRUE(waitFor([&] { return (m_window = FindDropWindow(m_client.processId(), 600)) != 0; }, 30))
            << clientOutput();
    }

    // Ends the client as the session's end does (what it held stays queued
    // for the next start) and starts it again with a fresh log.
    void restart()
    {
        ::kill(static_cast<pid_t>(m_client.processId()), SIGTERM);
        ASSERT_TRUE(m_client.waitForFinished(15000)) << clientOutput();
        fs::remove(SandboxPath("client/Quaylet.log"));
        launch();
    }

    // A command of the window menu, chosen as a user does: a right click
    // inside the window, then Down to the item and Return.
    void chooseFromWindowMenu(int downs)
    {
        QProcess xdotool;
        QStringList args{QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(m_window),
                         QStringLiteral("320"),       QStringLiteral("240"),      QStringLiteral("click"),
                         QStringLiteral("3"),         QStringLiteral("sleep"),    QStringLiteral("0.5"),
                         QStringLiteral("key")};
        for (int i = 0; i < downs; ++i)
            args << QStringLiteral("Down");
        args << QStringLiteral("Return");
        xdotool.start(QStringLiteral("xdotool"), args);
        ASSERT_TRUE(xdotool.waitForFinished(10000));
    }

    void TearDown() override
    {
        if (m_client.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(m_client.processId()), SIGTERM);
            EXPECT_TRUE(m_client.waitForFinished(15000)) << "the client ends at the session's end";
            if (m_client.state() == QProcess::Running) {
                m_client.kill();
                m_client.waitForFinished(5000);
            }
        }
        if (m_bus.state() == QProcess::Running) {
            m_bus.terminate();
            m_bus.waitForFinished(5000);
        }
    }

    // Waits until the condition holds; false when the time ran out or the client ended.
    bool waitFor(const std::function<bool()>& condition, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline || m_client.state() != QProcess::Running)
                return condition();
            QThread::msleep(100);
        }
        return true;
    }

    std::string log() const { return ReadFile(SandboxPath("client/Quaylet.log")); }

    std::string clientOutput()
    {
        std::string text = "client ";
        text += m_client.state() == QProcess::Running ? "running" : "ended";
        if (m_client.state() != QProcess::Running)
            text += m_client.exitStatus() == QProcess::CrashExit ? " by a crash" : " with status " + std::to_string(m_client.exitCode());
        text += "; its error output: " + m_client.readAllStandardError().toStdString();
        return text + "; its log:\n" + log();
    }

    void drop(const std::vector<std::string>& paths)
    {
        std::string why;
        const QByteArray list = UriList(paths);
        EXPECT_TRUE(DropUriList(m_window, list.toStdString(), why)) << why;
    }

    // Stored uploads of the given type ("photo" or "video").
    int stored(const std::string& type) const
    {
        int count = 0;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(SandboxPath("service-data"), ec)) {
            if (entry.path().filename() == "fields.txt") {
                const std::string fields = "\n" + ReadFile(entry.path().string());
                count += Contains(fields, "\ntype=" + type + "\n") || Contains(fields, "\ntype=" + type + "_no_meta\n");
            }
        }
        return count;
    }

    std::unique_ptr<MainWindowFixture> m_fixture;
    QProcess m_bus;
    QProcess m_client;
    unsigned long m_window = 0;
};

TEST_F(ClientBinaryTest, TwoVideosDroppedOneAfterTheOtherAreUploadedEachWithItsStillFrame)
{
    const std::string first = MakeClip(SandboxPath("drop/first.mp4"), 3, "160x120");
    const std::string second = MakeClip(SandboxPath("drop/second.mp4"), 4, "176x144");

    drop({first});
    ASSERT_TRUE(waitFor([&] { return Contains(log(), "Command Line: "); }, 60)) << clientOutput();
    drop({second});

    ASSERT_TRUE(waitFor([&] { return stored("video") == 2; }, 240)) << clientOutput();
    // Each still frame is made when its video comes to the front of the queue.
    EXPECT_TRUE(waitFor([&] { return Contains(log(), "moviepreview_02_1.jpg"); }, 20)) << clientOutput();
    const std::string text = log();
    EXPECT_TRUE(Contains(text, "preview image = ") && Contains(text, "moviepreview_01_1.jpg\r\n")) << text;
    EXPECT_TRUE(Contains(text, "moviepreview_02_1.jpg\r\n")) << text;
    EXPECT_FALSE(Contains(text, "no still frame for the video")) << text;
    EXPECT_EQ(stored("photo"), 0);
    EXPECT_EQ(m_client.state(), QProcess::Running) << clientOutput();
}

TEST_F(ClientBinaryTest, EscapeWhileIdleLeavesTheNextDropToUpload)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                              QString::number(m_window), QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(xdotool.waitForFinished(10000));
    ASSERT_TRUE(waitFor([&] { return Contains(log(), "Upload cancelled by user"); }, 10)) << clientOutput();

    const std::string photo = SandboxPath("drop/after-escape.jpg");
    WritePhoto(photo, 4);
    drop({photo});
    EXPECT_TRUE(waitFor([&] { return stored("photo") == 1; }, 60)) << clientOutput();
    EXPECT_EQ(m_client.state(), QProcess::Running) << clientOutput();
}

// Pause Uploads, ticked in the window menu: dropped files wait; the pause
// outlives a restart and holds what the last run left; unticked, everything
// goes up.
TEST_F(ClientBinaryTest, FilesWaitWhilePausedAcrossARestartAndGoUpOnceUnticked)
{
    constexpr int kPauseUploadsDowns = 6; // Add Files..., Logout, the three options, Pause Uploads
    chooseFromWindowMenu(kPauseUploadsDowns);
    ASSERT_TRUE(waitFor([&] { return Contains(log(), "TransferEngine: uploads paused"); }, 10)) << clientOutput();

    std::vector<std::string> photos;
    for (int i = 0; i < 2; ++i) {
        photos.push_back(SandboxPath("drop/paused" + std::to_string(i) + ".jpg"));
        WritePhoto(photos.back(), 20 + i);
    }
    drop(photos);
    ASSERT_TRUE(waitFor([&] { return Contains(log(), "xferDaemon: uploads paused"); }, 30)) << clientOutput();
    QThread::msleep(2000);
    EXPECT_EQ(stored("photo"), 0);

    restart();
    ASSERT_TRUE(waitFor([&] { return Contains(log(), "Resuming 2 files from last time"); }, 30)) << clientOutput();
    QThread::msleep(2000);
    EXPECT_EQ(stored("photo"), 0) << "the pause was not kept";

    chooseFromWindowMenu(kPauseUploadsDowns);
    EXPECT_TRUE(waitFor([&] { return stored("photo") == 2; }, 60)) << clientOutput();
    EXPECT_TRUE(Contains(log(), "TransferEngine: uploads resumed"));
    EXPECT_EQ(m_client.state(), QProcess::Running) << clientOutput();
}

} // namespace
} // namespace quaylet::test
