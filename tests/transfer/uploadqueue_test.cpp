#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "platform/tempdir.h"
#include "support/sandbox.h"
#include "transfer/filetimes.h"
#include "support/recordingwindowreactions.h"
#include "transfer/uploadqueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
namespace fs = std::filesystem;

namespace {

class UploadQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        OpenLog("Quaylet.log");
        fs::create_directories(root);
        UploadQueueLinks links;
        links.window = &window;
        links.objects = &objects;
        links.dateTaken = [this](const std::string& path) -> std::optional<int64_t> {
            dateAsked.push_back(path);
            if (path.ends_with("taken.jpg"))
                return kTaken;
            return std::nullopt;
        };
        links.notificationsOn = [this] { return notificationsOn; };
        links.rowAdded = [this] { ++rowsAdded; };
        queue = std::make_unique<CUploadQueue>(links);
        ASSERT_TRUE(intake.SetDropMode({kMainWindowDropMask, AcceptedExtensions(), queue->dropCallback()}));
    }

    std::string file(const std::string& name, const std::string& bytes = "x")
    {
        WriteFile(root + "/" + name, bytes);
        return root + "/" + name;
    }

    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < queue->count(); ++i)
            out.push_back(queue->rowAt(i)->columns[static_cast<std::size_t>(c)]);
        return out;
    }

    static constexpr int64_t kTaken = 1262401445; // 2010-01-02 03:04:05 UTC
    const std::string root = SandboxPath("drop");
    CFileDropListCtrl intake{SandboxPath("state/quaylet/renames")};
    CRecordingWindowReactions window;
    TransferObjects objects;
    bool notificationsOn = true;
    int rowsAdded = 0;
    std::vector<std::string> dateAsked;
    std::unique_ptr<CUploadQueue> queue;
};

} // namespace

TEST_F(UploadQueueTest, DroppedFilesBecomeRowsWithTheirFields)
{
    const std::string taken = file("taken.jpg", "12345");
    const std::string clip = file("clip.avi");
    const std::string clipUpper = file("CLIP2.AVI");
    const std::string mov = file("movie.Mov");
    const std::string png = file("shot.png");
    const std::string jpeg = file("pic.jpeg");
    objects.cancel.set();

    intake.OnDropFiles({taken, clip, clipUpper, mov, png, jpeg});

    EXPECT_EQ(column(kColumnPathname), (std::vector<std::string>{taken, clip, clipUpper, mov, png, jpeg}));
    EXPECT_EQ(column(kColumnFileType), (std::vector<std::string>{"1", "2", "2", "2", "1", "1"}));
    EXPECT_EQ(column(kColumnRenamed), std::vector<std::string>(6, "0"));
    EXPECT_EQ(queue->rowAt(0)->columns[kColumnFileSize], "5");
    EXPECT_EQ(queue->rowAt(0)->columns[kColumnTimeCreated], "01/02/2010 03:04:05");
    // Videos are never opened for a date taken.
    EXPECT_EQ(dateAsked, (std::vector<std::string>{taken, png, jpeg}));
    // Without a date taken, the file's creation time.
    EXPECT_EQ(queue->rowAt(4)->columns[kColumnTimeCreated], FormatTimeCreated(ReadFileTimes(png)->created));

    EXPECT_TRUE(objects.work.isSet());
    EXPECT_FALSE(objects.cancel.isSet());
    EXPECT_EQ(rowsAdded, 6);
    EXPECT_EQ(queue->queuedTotal(), 6);
    EXPECT_NE(ReadFile(SandboxPath("work/Quaylet.log"))
                  .find("CKestrelioClientDlg : Queueing " + taken + " created on 01/02/2010 03:04:05"),
              std::string::npos);
}

TEST_F(UploadQueueTest, DuplicatesAreExactPathsAndStayDuplicatesAfterRotation)
{
    const std::string lower = file("a.jpg");
    const std::string upper = file("a.JPG");
    intake.OnDropFiles({lower, lower, upper});
    EXPECT_EQ(column(kColumnPathname), (std::vector<std::string>{lower, upper}));

    // The head is turned upright: column 0 names the copy, yet the file itself is still queued.
    const std::string copy = platform::TempPath() + "TR1.jpeg";
    WriteFile(copy, "upright");
    queue->setPath(queue->head()->id, copy);
    intake.OnDropFiles({lower});
    EXPECT_EQ(queue->count(), 2u);
    EXPECT_EQ(queue->head()->path, copy);
    EXPECT_EQ(queue->rowAt(0)->queuedPath, lower);
}

TEST_F(UploadQueueTest, ProjectFilesAreRefusedWithABalloonWhenNotificationsAreOn)
{
    const std::string project = file("story.MSWMM");
    intake.OnDropFiles({project});
    notificationsOn = false;
    intake.OnDropFiles({file("second.mswmm")});

    EXPECT_EQ(queue->count(), 0u);
    EXPECT_FALSE(objects.work.isSet());
    const auto balloons = window.balloons();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].title, "Invalid Movie Maker File!");
    EXPECT_EQ(balloons[0].text, "Use Windows Movie Maker to save as Movie File");
    EXPECT_EQ(balloons[0].icon, BalloonIcon::Info);
    EXPECT_EQ(balloons[0].timeoutMs, 10000);
    EXPECT_EQ(balloons[0].takeDownMs, 8000);
    // The queueing line is still written.
    EXPECT_NE(ReadFile(SandboxPath("work/Quaylet.log")).find("Queueing " + project), std::string::npos);
}

TEST_F(UploadQueueTest, FilesThatVanishOrAreHugeStillGetTheirFields)
{
    uint32_t type = PathTypeFile;
    EXPECT_EQ(queue->QueueDroppedFile(intake, root + "/vanished.jpg", type, false), 0);
    EXPECT_EQ(queue->rowAt(0)->columns[kColumnTimeCreated], "01/01/1970 00:00:00");
    EXPECT_EQ(queue->rowAt(0)->columns[kColumnFileSize], "0");

    // 3 GiB: the low 32 bits taken as a signed number.
    const std::string huge = file("huge.avi", "");
    fs::resize_file(huge, 3ull << 30);
    EXPECT_EQ(queue->QueueDroppedFile(intake, huge, type, false), 0);
    EXPECT_EQ(queue->rowAt(1)->columns[kColumnFileSize], "-1073741824");

    uint32_t folderType = PathTypeFolder;
    EXPECT_EQ(queue->QueueDroppedFile(intake, root, folderType, false), 1);
    EXPECT_EQ(queue->count(), 2u);
}

TEST_F(UploadQueueTest, RemovingARowByIdRenamesBackAndDeletesItsUprightCopy)
{
    const std::string strange = root + "/\xE9t\xE9.jpg";
    WriteFile(strange, "photo");
    const std::string plain = file("plain.jpg");
    intake.OnDropFiles({strange, plain});
    ASSERT_EQ(queue->count(), 2u);
    const QueueRow first = *queue->rowAt(0);
    EXPECT_EQ(first.columns[kColumnRenamed], "1");
    EXPECT_EQ(first.queuedPath, root + "/TempFile_1.jpg");

    const std::string copy = platform::TempPath() + "TR1.jpeg";
    WriteFile(copy, "upright");
    queue->setPath(first.id, copy);

    // Another row removed first: ids, not positions, decide.
    const uint64_t second = queue->rowAt(1)->id;
    EXPECT_TRUE(queue->RemoveQueueItem(second));
    EXPECT_EQ(queue->head()->id, first.id);
    EXPECT_TRUE(PathExists(plain));

    queue->remove(first.id);
    EXPECT_EQ(queue->count(), 0u);
    EXPECT_EQ(ReadFile(strange), "photo");
    EXPECT_FALSE(PathExists(first.queuedPath));
    EXPECT_FALSE(PathExists(copy));
    EXPECT_FALSE(queue->RemoveQueueItem(first.id)); // already gone: left alone
}

TEST_F(UploadQueueTest, CancelRemovesEveryRowAndRenamesBack)
{
    const std::string a = root + "/\xFF"
                                 "a.jpg";
    const std::string b = root + "/\xFF"
                                 "b.png";
    WriteFile(a, "a");
    WriteFile(b, "b");
    intake.OnDropFiles({a, b, file("c.gif")});
    ASSERT_EQ(queue->count(), 3u);
    queue->RemoveAllQueueItems();
    EXPECT_EQ(queue->count(), 0u);
    EXPECT_EQ(ReadFile(a), "a");
    EXPECT_EQ(ReadFile(b), "b");
    EXPECT_EQ(intake.renameTable().size(), 0u);
}

TEST_F(UploadQueueTest, CountTextFollowsTheRowsBeingStarted)
{
    intake.OnDropFiles({file("1.jpg"), file("2.jpg"), file("3.jpg")});
    EXPECT_EQ(queue->countText(), std::nullopt);

    auto head = queue->advanceToHead();
    ASSERT_TRUE(head);
    EXPECT_EQ(head->columns[kColumnPathname], root + "/1.jpg");
    EXPECT_EQ(queue->countText(), " 1 of 3");

    queue->remove(head->id);
    queue->advanceToHead();
    EXPECT_EQ(queue->countText(), " 2 of 3");
    intake.OnDropFiles({file("4.jpg")});
    EXPECT_EQ(queue->countText(), " 2 of 4");

    queue->RemoveAllQueueItems();
    EXPECT_FALSE(queue->advanceToHead()); // empty: the display resets
    EXPECT_EQ(queue->queuedTotal(), 0);
    EXPECT_EQ(queue->currentPosition(), 0);
}

TEST_F(UploadQueueTest, RowsRemovedOnAnotherThreadWhileADropIsQueued)
{
    for (int i = 0; i < 300; ++i)
        file("many/" + std::to_string(i) + ".jpg");
    WriteFile(root + "/\xFF"
                     "dir/inner.jpg",
              "x");
    std::atomic<bool> dropping{true};
    std::size_t removed = 0;
    std::thread transfer([&] {
        while (dropping || queue->count() > 0) {
            if (const auto h = queue->head())
                removed += queue->RemoveQueueItem(h->id) ? 1 : 0;
        }
    });
    intake.OnDropFiles({root + "/many", root + "/\xFF"
                                               "dir"});
    dropping = false;
    transfer.join();
    EXPECT_EQ(removed, 301u);
    EXPECT_EQ(queue->queuedTotal(), 301);
    EXPECT_TRUE(PathExists(root + "/\xFF"
                                  "dir/inner.jpg")); // its folder has its name back
    EXPECT_EQ(intake.renameTable().size(), 0u);
}
