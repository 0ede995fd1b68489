// The transfer thread's pass over the head of the queue, with steps that force
// an outcome at a chosen moment.

#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "platform/tempdir.h"
#include "support/recordingwindowreactions.h"
#include "support/sandbox.h"
#include "transfer/transferthread.h"
#include "transfer/uploadqueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;

namespace {

class TransferThreadTest : public ::testing::Test {
protected:
    TransferThreadTest()
    {
        OpenLog("Quaylet.log");
        UploadQueueLinks links;
        links.objects = &objects;
        queue = std::make_unique<CUploadQueue>(links);
        steps.checkConnection = [](const StepContext&) { return true; };
        steps.fetchPremium = [](const StepContext&) { return true; };
        steps.rotateToUpright = [this](const std::string& path) {
            rotated.push_back(path);
            return std::string();
        };
        steps.makeUploadImage = [](const std::string&, int) { return std::string(); };
        steps.convertVideo = [](const StepContext&, const std::string&) { return std::string(); };
        steps.dateTaken = [](const std::string&) { return std::optional<int64_t>(); };
        steps.upload = [this](const StepContext&, const UploadRequest& request) {
            uploads.push_back(request.path);
            return 1;
        };
    }

    void queueFile(const std::string& name)
    {
        const std::string path = SandboxPath("in/" + name);
        WriteFile(path, "media");
        uint32_t type = PathTypeFile;
        ASSERT_EQ(queue->QueueDroppedFile(intake, path, type, false), 0);
    }

    // One pass over the head, as the work event triggers it.
    void processHead()
    {
        TransferThread thread(objects, shared, *queue, window, steps);
        thread.processHead();
    }

    std::vector<int64_t> states() const
    {
        std::vector<int64_t> out;
        for (const auto& [message, parameter] : window.messages())
            if (message == kMsgTransferState)
                out.push_back(parameter);
        return out;
    }

    TransferObjects objects;
    TransferShared shared;
    CFileDropListCtrl intake{SandboxPath("journal")};
    std::unique_ptr<CUploadQueue> queue;
    CRecordingWindowReactions window;
    TransferSteps steps;
    std::vector<std::string> rotated;
    std::vector<std::string> uploads;
};

} // namespace

TEST_F(TransferThreadTest, ACancelCountsOnlyWhenItCutTheUploadShort)
{
    const struct {
        const char* what;
        int reply;          // what the upload step returns, the cancel having come meanwhile
        int lastResult;     // what the window is told
        int64_t finalState; // the last state reported
    } cases[] = {
        {"stored, then cancelled", 1, kResultUploaded, kStateUploaded},
        {"duplicate, then cancelled", -3, kResultDuplicate, kStateUploaded},
        {"cut short by the cancel", -8, kResultNone, kStateReady},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        window.clear();
        queueFile("f" + std::to_string(n++) + ".jpg");
        int attempts = 0;
        steps.upload = [&](const StepContext& ctx, const UploadRequest&) {
            ++attempts;
            ctx.shared.cancelFlag = true; // Cancel pressed as the reply arrives
            return c.reply;
        };
        processHead();
        EXPECT_EQ(attempts, 1);
        EXPECT_EQ(shared.lastResult, c.lastResult);
        ASSERT_FALSE(states().empty());
        EXPECT_EQ(states().back(), c.finalState);
        EXPECT_EQ(queue->count(), 0u);
    }
}

TEST_F(TransferThreadTest, VideosAreOfferedForTurningLikePhotos)
{
    queueFile("clip.mp4");
    queueFile("photo.jpg");
    processHead();
    processHead();
    EXPECT_EQ(rotated, (std::vector<std::string>{SandboxPath("in/clip.mp4"), SandboxPath("in/photo.jpg")}));
    EXPECT_EQ(uploads, rotated);
}

TEST_F(TransferThreadTest, UprightCopyOfARowCancelledMeanwhileIsDeletedAndNotSent)
{
    queueFile("turned.jpg");
    const std::string copy = platform::TempPath() + "TR1.jpeg";
    steps.rotateToUpright = [&](const std::string&) {
        WriteFile(copy, "upright");
        // The Cancel command empties the queue while the copy is being written.
        shared.cancelFlag = true;
        queue->RemoveAllQueueItems();
        return copy;
    };
    processHead();
    EXPECT_FALSE(PathExists(copy));
    EXPECT_TRUE(uploads.empty());
    EXPECT_EQ(shared.lastResult, kResultNone);
    ASSERT_FALSE(states().empty());
    EXPECT_EQ(states().back(), kStateReady);
}

TEST_F(TransferThreadTest, ACancelJustBeforeTheFileStartsIsNotLostAndSparesLaterDrops)
{
    queueFile("before.jpg");
    // Cancel pressed while the thread asks for the account: the flag is set and
    // the rows are marked, but the command has not removed them yet when the
    // thread reads the head and clears the flag for the new file.
    steps.fetchPremium = [this](const StepContext&) {
        shared.cancelFlag = true;
        queue->markAllCancelled();
        return false;
    };
    processHead();
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(rotated.empty());
    EXPECT_EQ(shared.lastResult, kResultNone);
    EXPECT_EQ(queue->count(), 0u);

    // A file dropped after the Cancel is not taken by it.
    steps.fetchPremium = [](const StepContext&) { return false; };
    queueFile("after.jpg");
    processHead();
    EXPECT_EQ(uploads, (std::vector<std::string>{SandboxPath("in/after.jpg")}));
}
