#include "dropintake/filedroplistctrl.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
namespace fs = std::filesystem;

// This process's fsync and rename calls, in order, each with the paths it
// touched: whether a record is on the disk before the rename it announces
// cannot be seen from the files alone. The calls themselves go through.
namespace {

std::mutex g_callsMutex;
bool g_recording = false;     // guarded by g_callsMutex
std::vector<std::string> g_calls; // guarded by g_callsMutex

void recordCall(const std::string& call)
{
    std::lock_guard lock(g_callsMutex);
    if (g_recording)
        g_calls.push_back(call);
}

std::string pathOfFd(int fd)
{
    char link[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link);
    return n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string("?");
}

template <typename Function>
Function realFunction(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fsync");
    recordCall("fsync " + pathOfFd(fd));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept
{
    static const auto real = realFunction<int (*)(const char*, const char*)>("rename");
    recordCall("rename " + std::string(from) + " > " + to);
    return real(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) noexcept
{
    static const auto real = realFunction<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    recordCall("rename " + std::string(from) + " > " + to);
    return real(fromDir, from, toDir, to, flags);
}

namespace {

std::size_t journalCount(const std::string& dir)
{
    std::size_t n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        n += it->path().extension() == ".journal";
    return n;
}

} // namespace

// A process that is killed while a file waits under its temporary name: the
// name is given back by the next start, but never while that process runs.
TEST(RenameJournalTest, NamesOfAKilledProcessAreRestoredOnlyAfterItEnded)
{
    const std::string folder = SandboxPath("photos");
    const std::string journals = SandboxPath("journals");
    const std::string original = folder + "/\xFF\nphoto.jpg";
    WriteFile(original, "precious");

    QProcess child;
    child.setProgram(QString::fromUtf8(RENAME_CHILD));
    child.setArguments({QString::fromStdString(journals), QString::fromStdString(folder)});
    child.start();
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(child.waitForReadyRead(10000));
    const std::string temp = child.readLine().trimmed().toStdString();
    ASSERT_EQ(temp, folder + "/TempFile_1.jpg");
    ASSERT_FALSE(PathExists(original));
    ASSERT_EQ(journalCount(journals), 1u);

    // A start while the other process lives leaves its rename alone.
    {
        CFileDropListCtrl laterStart(journals);
    }
    EXPECT_FALSE(PathExists(original));
    EXPECT_EQ(ReadFile(temp), "precious");

    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(ReadFile(temp), "precious"); // nobody gave it back

    {
        CFileDropListCtrl afterCrash(journals);
    }
    EXPECT_EQ(ReadFile(original), "precious");
    EXPECT_FALSE(PathExists(temp));
    EXPECT_EQ(journalCount(journals), 0u);
}

TEST(RenameJournalTest, ACleanEndLeavesNeitherTempNamesNorJournals)
{
    const std::string folder = SandboxPath("photos");
    const std::string journals = SandboxPath("journals");
    WriteFile(folder + "/\xFF\nphoto.jpg", "precious");

    QProcess child;
    child.setProgram(QString::fromUtf8(RENAME_CHILD));
    child.setArguments({QString::fromStdString(journals), QString::fromStdString(folder)});
    child.start();
    ASSERT_TRUE(child.waitForReadyRead(10000));
    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(ReadFile(folder + "/\xFF\nphoto.jpg"), "precious");
    EXPECT_EQ(journalCount(journals), 0u);
}

TEST(RenameJournalTest, ARestoreNeverReplacesWhatTookTheNameSinceAndSkipsGarbage)
{
    const std::string journals = SandboxPath("journals");
    const std::string folder = SandboxPath("photos");
    WriteFile(folder + "/TempFile_1.jpg", "renamed");
    WriteFile(folder + "/taken.jpg", "newcomer");
    WriteFile(folder + "/TempFile_2.jpg", "second");
    auto hex = [](const std::string& s) {
        std::string out;
        char b[3];
        for (unsigned char c : s) {
            std::snprintf(b, sizeof b, "%02x", c);
            out += b;
        }
        return out;
    };
    // Written by hand as a dead process would have left it: one rename whose
    // name was taken since, one to restore, garbage, and a torn last line.
    WriteFile(journals + "/4242-abcdef.journal",
              "R " + hex(folder + "/TempFile_1.jpg") + " " + hex(folder + "/taken.jpg") + "\n" + "R " +
                  hex(folder + "/TempFile_2.jpg") + " " + hex(folder + "/\xFE.jpg") + "\n" +
                  "X nonsense\nR zz yy\n" + "R " + hex(folder + "/TempFile_3.jpg"));

    {
        CFileDropListCtrl start(journals);
    }

    EXPECT_EQ(ReadFile(folder + "/taken.jpg"), "newcomer");
    EXPECT_EQ(ReadFile(folder + "/TempFile_1.jpg"), "renamed");
    EXPECT_EQ(ReadFile(folder + "/\xFE.jpg"), "second");
    EXPECT_FALSE(PathExists(folder + "/TempFile_2.jpg"));
    EXPECT_EQ(journalCount(journals), 0u);
}

// A power cut right after a file got its temporary name must still find the
// journal, and the record in it, on the disk.
TEST(RenameJournalTest, TheJournalAndItsRecordReachTheDiskBeforeTheFileIsRenamed)
{
    const std::string journals = SandboxPath("journals");
    const std::string original = SandboxPath("photos/\xFF.jpg");
    WriteFile(original, "precious");
    CFileDropListCtrl intake(journals);
    std::string temp;
    ASSERT_TRUE(intake.SetDropMode({kMainWindowDropMask, AcceptedExtensions(),
                                    [&](CFileDropListCtrl&, const std::string& path, uint32_t&, bool) {
                                        temp = path;
                                        return 0;
                                    }}));
    {
        std::lock_guard lock(g_callsMutex);
        g_recording = true;
    }
    intake.OnDropFiles({original});
    std::vector<std::string> calls;
    {
        std::lock_guard lock(g_callsMutex);
        g_recording = false;
        calls = g_calls;
    }
    ASSERT_TRUE(temp.starts_with(SandboxPath("photos/TempFile_")));
    const std::string journal = intake.renameTable().journalPath();
    std::string all;
    for (const auto& c : calls)
        all += c + "\n";
    const auto at = [&](const std::function<bool(const std::string&)>& match) {
        return std::find_if(calls.begin(), calls.end(), match) - calls.begin();
    };
    const auto named = at([&](const std::string& c) { return c.starts_with("rename ") && c.ends_with(" > " + journal); });
    const auto folderSynced = at([&](const std::string& c) { return c == "fsync " + journals; });
    const auto recordSynced = at([&](const std::string& c) { return c == "fsync " + journal; });
    const auto moved = at([&](const std::string& c) { return c == "rename " + original + " > " + temp; });
    const auto none = static_cast<std::ptrdiff_t>(calls.size());
    ASSERT_LT(moved, none) << all;
    EXPECT_LT(named, folderSynced) << all;
    EXPECT_LT(folderSynced, moved) << all;
    EXPECT_LT(recordSynced, moved) << all;
}

// The common reason a name cannot be mended: the folder is not the user's to
// write. The file stays as it is, and the reason says so.
TEST(RenameJournalTest, AFileInAFolderThatCannotBeWrittenIsSkippedWithTheReason)
{
    // Run as nobody, who may search the sandbox but not write the photos' folder.
    ASSERT_EQ(::chmod(quaylet::test::SandboxDir().c_str(), 0711), 0);
    const std::string folder = SandboxPath("photos");
    const std::string original = folder + "/\xFF\nphoto.jpg";
    WriteFile(original, "precious");
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    fs::create_directories(SandboxPath("shared"));
    ASSERT_EQ(::chmod(SandboxPath("shared").c_str(), 0777), 0);
    const std::string journals = SandboxPath("shared/renames"); // made by nobody, so nobody's own

    QProcess child;
    child.setProgram(QStringLiteral("setpriv"));
    child.setArguments({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                        QString::fromUtf8(RENAME_CHILD), QString::fromStdString(journals),
                        QString::fromStdString(folder)});
    child.start();
    ASSERT_TRUE(child.waitForStarted(10000));
    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished(10000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    EXPECT_EQ(child.readAllStandardOutput().toStdString(),
              "skipped: its name is not valid UTF-8, and it could not be given a temporary name: Permission denied\n");
    EXPECT_EQ(ReadFile(original), "precious");
    EXPECT_EQ(journalCount(journals), 0u);
}
