#include "platform/filereveal.h"
#include "support/sandbox.h"
#include "support/testkeyring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>

namespace quaylet::platform {
namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A session bus of the test's own with, when asked, a file manager on it,
// and an xdg-open on PATH that records its arguments.
class FileRevealTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (m_bus.address().empty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        ::setenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().c_str(), 1);
        const std::string bin = test::SandboxPath("bin");
        test::WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + m_openerRecord + "'\n");
        ::chmod((bin + "/xdg-open").c_str(), 0755);
        ::setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    }

    // Starts the fake file manager; false when python3-dbus is missing.
    bool startFileManager(bool refuse)
    {
        QStringList args {QStringLiteral(QUAYLET_FAKE_FILE_MANAGER), QString::fromStdString(m_managerRecord)};
        if (refuse)
            args << QStringLiteral("refuse");
        m_manager.process().start(QStringLiteral("/usr/bin/python3"), args);
        return WaitUntil([&] {
            return test::ReadFile(m_managerRecord).find("ready\n") != std::string::npos ||
                   m_manager.process().state() == QProcess::NotRunning;
        }) && m_manager.process().state() == QProcess::Running;
    }

    std::optional<RevealedBy> reveal(const std::string& path)
    {
        std::optional<RevealedBy> how;
        DesktopFileRevealer revealer({.done = [&](const std::string&, RevealedBy by) { how = by; }});
        revealer.reveal(path);
        WaitUntil([&] { return how.has_value(); });
        return how;
    }

    std::string managerCalls() const
    {
        const std::string record = test::ReadFile(m_managerRecord);
        const auto ready = record.find("ready\n");
        return ready == std::string::npos ? record : record.substr(ready + 6);
    }
    std::string opened() const { return test::ReadFile(m_openerRecord); }

    // A name that is not UTF-8, with blanks: its bytes travel as they are.
    const std::string m_photo = test::SandboxPath("caf\xe9 photos/a b.jpg");
    const std::string m_photoAddress = "file://" + test::SandboxDir() + "/caf%E9%20photos/a%20b.jpg";
    const std::string m_folderAddress = "file://" + test::SandboxDir() + "/caf%E9%20photos";

private:
    test::PrivateSessionBus m_bus;
    test::TestChild m_manager;
    const std::string m_managerRecord = test::SandboxPath("filemanager.txt");
    const std::string m_openerRecord = test::SandboxPath("xdg-open.txt");
};

TEST_F(FileRevealTest, TheFileManagerShowsTheFilePickedOut)
{
    if (!startFileManager(false))
        GTEST_SKIP() << "python3-dbus is not installed";
    EXPECT_EQ(reveal(m_photo), RevealedBy::FileManager);
    EXPECT_EQ(managerCalls(), "ShowItems " + m_photoAddress + "\n");
    EXPECT_EQ(opened(), "") << "the folder was opened as well";
}

TEST_F(FileRevealTest, WithoutAFileManagerOrWhenItRefusesTheFolderOpens)
{
    EXPECT_EQ(reveal(m_photo), RevealedBy::FolderOpener);
    EXPECT_TRUE(WaitUntil([&] { return opened() == m_folderAddress + "\n"; })) << opened();

    if (!startFileManager(true))
        GTEST_SKIP() << "python3-dbus is not installed";
    EXPECT_EQ(reveal(m_photo), RevealedBy::FolderOpener);
    EXPECT_EQ(managerCalls(), "ShowItems " + m_photoAddress + "\n");
    EXPECT_TRUE(WaitUntil([&] { return opened() == m_folderAddress + "\n" + m_folderAddress + "\n"; })) << opened();
}

TEST_F(FileRevealTest, NoOpenerAtAllIsReported)
{
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(reveal(m_photo), RevealedBy::Nothing);
}

} // namespace
} // namespace quaylet::platform
