// The end of the desktop session: SIGTERM, SIGINT and SIGHUP close the client
// the way Exit does, wherever the window is in its run.

#include "support/sandbox.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace quaylet;

namespace {

const std::string kClosing = "CKestrelioClientApp: Closing app\r\n";

bool logReaches(const std::string& what, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (test::ReadFile("Quaylet.log").find(what) == std::string::npos) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
}

void signalAndWait(QProcess& process, int signal)
{
    ::kill(static_cast<pid_t>(process.processId()), signal);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "the signal did not end the process by itself";
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace

TEST(SessionEnd, EachSignalClosesTheRunningWindowOnItsThread)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove("Quaylet.log");
        auto client = start(QStringLiteral(QUAYLET_SESSIONEND_CLIENT_PATH), {QStringLiteral("loop")});
        ASSERT_TRUE(logReaches("stand-in: running"));
        signalAndWait(*client, signal);
        const std::string log = test::ReadFile("Quaylet.log");
        EXPECT_NE(log.find("stand-in: close requested on the window thread"), std::string::npos) << signal;
        EXPECT_TRUE(log.ends_with(kClosing)) << signal;
    }
}

TEST(SessionEnd, InterruptsTheStartUpSignInBeforeTheWindowsLoop)
{
    auto client = start(QStringLiteral(QUAYLET_SESSIONEND_CLIENT_PATH), {QStringLiteral("signin")});
    ASSERT_TRUE(logReaches("stand-in: signing in"));
    signalAndWait(*client, SIGTERM);
    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_NE(log.find("stand-in: sign-in interrupted"), std::string::npos);
    // The close request waited for the loop the window entered afterwards.
    EXPECT_LT(log.find("stand-in: running"), log.find("stand-in: close requested on the window thread"));
    EXPECT_TRUE(log.ends_with(kClosing));
}

TEST(SessionEnd, TheRealClientClosesOnSigterm)
{
    auto client = start(QStringLiteral(QUAYLET_CLIENT_PATH), {});
    ASSERT_TRUE(logReaches(") started"));
    // Give it the moment to reach its window's loop; a signal before it must
    // close the client all the same.
    QThread::msleep(200);
    signalAndWait(*client, SIGTERM);
    EXPECT_TRUE(test::ReadFile("Quaylet.log").ends_with(kClosing));
}
