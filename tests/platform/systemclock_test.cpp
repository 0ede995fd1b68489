#include "platform/systemclock.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>

using quaylet::platform::IdleMilliseconds;
using quaylet::platform::UptimeMilliseconds;

TEST(SystemClockTest, UptimeAdvances)
{
    const uint64_t before = UptimeMilliseconds();
    QThread::msleep(20);
    EXPECT_GE(UptimeMilliseconds() - before, 15u);
}

TEST(SystemClockTest, IdleTimeIsAbsentWithoutAnX11Display)
{
    ::unsetenv("DISPLAY");
    EXPECT_FALSE(IdleMilliseconds().has_value());
    ::setenv("DISPLAY", ":0", 1);
    ::setenv("XDG_SESSION_TYPE", "wayland", 1);
    EXPECT_FALSE(IdleMilliseconds().has_value()) << "a Wayland session's X11 server does not see all input";
}

TEST(SystemClockTest, IdleTimeFromARealX11Server)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "no Xvfb on this machine";
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(5000));
    ASSERT_TRUE(server.waitForReadyRead(10000)) << "Xvfb did not report its display";
    const QByteArray display = server.readLine().trimmed();
    ::setenv("DISPLAY", (":" + display.toStdString()).c_str(), 1);
    ::unsetenv("XDG_SESSION_TYPE");
    QThread::msleep(150);
    const auto idle = IdleMilliseconds();
    server.terminate();
    server.waitForFinished(5000);
    ASSERT_TRUE(idle.has_value());
    EXPECT_GE(*idle, 100u) << "nobody has touched the virtual display";
    EXPECT_LT(*idle, 60000u);
}
