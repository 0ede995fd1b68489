#include "dropintake/filedroplistctrl.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>
#include <filesystem>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
namespace fs = std::filesystem;

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
