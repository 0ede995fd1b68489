// The single-instance rule's lock file and folder, exercised inside one
// process: an flock taken through another open file conflicts just as another
// process's would.

#include "app/singleinstance.h"
#include "support/sandbox.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quaylet;

namespace {

const QString kName = QStringLiteral("KestrelioClient");

QString runtimeDir()
{
    return QString::fromStdString(test::SandboxPath("runtime"));
}

std::string userFolder()
{
    return test::SandboxPath("tmp/quaylet-" + std::to_string(::getuid()));
}

} // namespace

TEST(SingleInstanceTest, WithoutXdgRuntimeDirTheUsersPrivateFolderServesOnlyWhenPrivate)
{
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::defaultRuntimeDir().toStdString(), userFolder());
    struct stat st {};
    ASSERT_EQ(::stat(userFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(SingleInstance::defaultRuntimeDir().toStdString(), userFolder()) << "the same for every start";

    ::chmod(userFolder().c_str(), 0755);
    std::string why;
    EXPECT_TRUE(SingleInstance::defaultRuntimeDir(&why).isEmpty());
    EXPECT_FALSE(why.empty());

    SingleInstance without(QString(), kName);
    EXPECT_FALSE(without.tryBecomeFirst());
    EXPECT_FALSE(without.runningPid().has_value());
    EXPECT_FALSE(without.sendToRunning(SingleInstance::kShow, 100));
}

TEST(SingleInstanceTest, AHeldLockAlwaysNamesItsHolder)
{
    // One thread starts and ends clients over and over while this one looks at
    // the lock file as a replacing client does: whenever it is held, it must
    // already hold the pid.
    const std::string lockPath = runtimeDir().toStdString() + "/KestrelioClient.lock";
    std::atomic<bool> done{false};
    std::thread starts([&] {
        for (int i = 0; i < 1000; ++i) {
            SingleInstance client(runtimeDir(), kName);
            EXPECT_TRUE(client.tryBecomeFirst());
        }
        done = true;
    });
    int held = 0;
    int withoutPid = 0;
    while (!done) {
        const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            ++held;
            char buffer[32] = {};
            if (::pread(fd, buffer, sizeof buffer - 1, 0) <= 0 || std::atol(buffer) != ::getpid())
                ++withoutPid;
        }
        ::close(fd);
    }
    starts.join();
    EXPECT_GT(held, 0);
    EXPECT_EQ(withoutPid, 0) << "of " << held << " looks at a held lock";
}

TEST(SingleInstanceTest, ReplacingWaitsAtMostTheReplacementTimeInAll)
{
    // A holder that neither serves its channel nor ends: the close request is
    // retried and the end awaited, both within the one budget.
    SingleInstance holder(runtimeDir(), kName);
    ASSERT_TRUE(holder.tryBecomeFirst());
    SingleInstance replacing(runtimeDir(), kName);
    ASSERT_EQ(replacing.runningPid(), ::getpid());
    QElapsedTimer timer;
    timer.start();
    const auto ended = replacing.closeRunning(1000);
    const qint64 elapsed = timer.elapsed();
    ASSERT_TRUE(ended.has_value());
    EXPECT_FALSE(*ended);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 1600);
}
