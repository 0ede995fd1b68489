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
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::SandboxPath;
using quaylet::test::ReadFile;
using quaylet::test::WriteFile;
using namespace std::chrono_literals;

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
        steps.rotateToUpright = [this](const std::string& path, int) {
            rotated.push_back(path);
            return std::string();
        };
        steps.makeUploadImage = [](const std::string&, int, const std::string&) { return std::string(); };
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
    TransferThread thread(objects, shared, *queue, window, steps);
    thread.processHead();
    thread.processHead();
    EXPECT_EQ(rotated, (std::vector<std::string>{SandboxPath("in/clip.mp4"), SandboxPath("in/photo.jpg")}));
    EXPECT_EQ(uploads, rotated);
}

TEST_F(TransferThreadTest, UprightCopyOfARowCancelledMeanwhileIsDeletedAndNotSent)
{
    queueFile("turned.jpg");
    const std::string copy = platform::TempPath() + "TR1.jpeg";
    steps.rotateToUpright = [&](const std::string&, int) {
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

namespace {

// Bounded waits, so that a fault fails the test rather than hanging it.
constexpr auto kBound = 10s;

bool arrived(const std::shared_future<void>& signal)
{
    return signal.wait_for(kBound) == std::future_status::ready;
}

// The file system stamps files from a coarse clock: waits until a file
// written now gets a later change time than `stamp`.
void waitForTheClockToPass(const timespec& stamp)
{
    const std::string probe = SandboxPath("clock-probe");
    for (int i = 0; i < 1000; ++i) {
        WriteFile(probe, "tick");
        struct stat st {};
        if (::stat(probe.c_str(), &st) == 0
            && (st.st_ctim.tv_sec > stamp.tv_sec
                || (st.st_ctim.tv_sec == stamp.tv_sec && st.st_ctim.tv_nsec > stamp.tv_nsec)))
            return;
        std::this_thread::sleep_for(1ms);
    }
    ADD_FAILURE() << "the file system's clock does not move";
}

// Preparation steps that record which photo they ran for, and a prepared
// copy whose content names what it was made from.
class LookAheadTest : public TransferThreadTest {
protected:
    LookAheadTest()
    {
        steps.rotateToUpright = [this](const std::string& path, int) {
            std::string copy;
            {
                std::lock_guard lock(mutex);
                if (path.ends_with("turned.jpg")) {
                    copy = platform::TempPath() + "TR" + std::to_string(madeCopies.size() + 1) + ".jpeg";
                    WriteFile(copy, "upright");
                    madeCopies.push_back(copy);
                }
                rotated.push_back(path);
            }
            if (duringRotation)
                duringRotation(path);
            return copy;
        };
        steps.makeUploadImage = [this](const std::string& path, int box, const std::string& directory) {
            const std::string out = (directory.empty() ? platform::TempPath() : directory) + "temp_thumbnail.image";
            WriteFile(out, path + " " + std::to_string(box));
            std::lock_guard lock(mutex);
            prepared.push_back(path);
            if (path.find("TR") != std::string::npos && !turnedSignalled) {
                turnedSignalled = true;
                turnedPrepared.set_value();
            }
            return out;
        };
        steps.upload = [this](const StepContext&, const UploadRequest& request) {
            uploads.push_back(request.path);
            uploadedContents.push_back(ReadFile(request.path));
            if (duringFirstUpload && uploads.size() == 1)
                duringFirstUpload();
            return 1;
        };
    }

    std::vector<std::string> preparedSoFar()
    {
        std::lock_guard lock(mutex);
        return prepared;
    }

    // Guards rotated, prepared, madeCopies and the signal against the worker.
    std::mutex mutex;
    std::vector<std::string> prepared;
    std::vector<std::string> madeCopies;
    std::vector<std::string> uploadedContents;
    std::promise<void> turnedPrepared; // a copy of the turned photo has been prepared
    bool turnedSignalled = false;
    std::function<void(const std::string&)> duringRotation;
    std::function<void()> duringFirstUpload;
};

} // namespace

TEST_F(LookAheadTest, TheNextPhotoIsPreparedWhileTheCurrentOneUploadsAndLooksTheSame)
{
    queueFile("plain.jpg");
    queueFile("turned.jpg");
    const std::shared_future<void> ready = turnedPrepared.get_future().share();
    bool preparedMeanwhile = false;
    duringFirstUpload = [&] { preparedMeanwhile = arrived(ready); };

    TransferThread thread(objects, shared, *queue, window, steps);
    thread.processHead();
    auto firstMessages = window.messages();
    // Only the first file asks for the account.
    ASSERT_FALSE(firstMessages.empty());
    EXPECT_EQ(firstMessages.front().first, kMsgAccountInfo);
    firstMessages.erase(firstMessages.begin());
    window.clear();
    thread.processHead();
    EXPECT_TRUE(preparedMeanwhile);

    // Each file reports the same steps in the same order, the second one's
    // "Resizing..." coming although its copy was ready.
    EXPECT_EQ(window.messages(), firstMessages);
    EXPECT_EQ(states(), (std::vector<int64_t>{kStateResizing, kStateUploading, kStateUploaded}));

    // Prepared once each, the turned one from its upright copy, and sent from
    // where its own preparation would have put it.
    ASSERT_EQ(madeCopies.size(), 1u);
    EXPECT_EQ(rotated, (std::vector<std::string>{SandboxPath("in/plain.jpg"), SandboxPath("in/turned.jpg")}));
    EXPECT_EQ(prepared, (std::vector<std::string>{SandboxPath("in/plain.jpg"), madeCopies[0]}));
    const std::string sent = platform::TempPath() + "temp_thumbnail.image";
    EXPECT_EQ(uploads, (std::vector<std::string>{sent, sent}));
    EXPECT_EQ(uploadedContents[1], madeCopies[0] + " 1500");
    // The queue took the upright copy at the row's turn and deleted it with the row.
    EXPECT_FALSE(PathExists(madeCopies[0]));
    EXPECT_EQ(queue->count(), 0u);
    EXPECT_FALSE(PathExists(PhotoLookAhead::folder() + "temp_thumbnail.image"));
}

TEST_F(LookAheadTest, APhotoPreparedAheadIsDiscardedWhenItsRowOrFileChangesBeforeItsTurn)
{
    struct Case {
        const char* what;
        bool cancelNext;          // the row is cancelled while its copy is being turned
        int64_t size;             // else the file is rewritten with this many bytes once prepared
        bool keepModified;        // and its modification time put back, as a copy that keeps times does
        std::size_t rotations;    // times the turned photo is offered for turning
        std::size_t preparations; // times a copy of it is prepared
        std::size_t uploadsSent;
    };
    const Case cases[] = {
        {"cancelled during its look-ahead", true, 0, false, 1, 0, 1},
        {"rewritten before its turn", false, 9, false, 2, 2, 2},
        // Only the change time tells this one.
        {"rewritten before its turn, same size and modification time", false, 5, true, 2, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        queue = std::make_unique<CUploadQueue>(UploadQueueLinks{});
        rotated.clear();
        prepared.clear();
        madeCopies.clear();
        uploads.clear();
        uploadedContents.clear();
        turnedPrepared = std::promise<void>();
        turnedSignalled = false;
        queueFile("plain.jpg");
        queueFile("turned.jpg");

        std::promise<void> turning, removed;
        const std::shared_future<void> turningSeen = turning.get_future().share();
        const std::shared_future<void> removedSeen = removed.get_future().share();
        const std::shared_future<void> preparedSeen = turnedPrepared.get_future().share();
        bool once = false;
        duringRotation = [&](const std::string& path) {
            if (!c.cancelNext || once || !path.ends_with("turned.jpg"))
                return;
            once = true;
            turning.set_value();
            EXPECT_TRUE(arrived(removedSeen));
        };
        duringFirstUpload = [&] {
            if (c.cancelNext) {
                ASSERT_TRUE(arrived(turningSeen));
                const auto next = queue->after(queue->head()->id);
                ASSERT_TRUE(next);
                queue->remove(next->id);
                removed.set_value();
            } else {
                ASSERT_TRUE(arrived(preparedSeen));
                const std::string path = SandboxPath("in/turned.jpg");
                struct stat before {};
                ASSERT_EQ(::stat(path.c_str(), &before), 0);
                waitForTheClockToPass(before.st_ctim);
                WriteFile(path, std::string(static_cast<std::size_t>(c.size), 'x'));
                if (c.keepModified) {
                    const timespec times[2] = {before.st_atim, before.st_mtim};
                    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
                }
            }
        };

        {
            TransferThread thread(objects, shared, *queue, window, steps);
            thread.processHead();
            thread.processHead();
            EXPECT_EQ(queue->count(), 0u);
        }
        EXPECT_EQ(rotated.size() - 1, c.rotations);
        EXPECT_EQ(static_cast<std::size_t>(std::count_if(prepared.begin(), prepared.end(),
                                                         [](const std::string& p) { return p.find("TR") != std::string::npos; })),
                  c.preparations);
        EXPECT_EQ(uploads.size(), c.uploadsSent);
        if (c.uploadsSent == 2) {
            EXPECT_EQ(uploadedContents[1], madeCopies.back() + " 1500"); // the fresh copy, not the stale one
        }
        for (const std::string& copy : madeCopies)
            EXPECT_FALSE(PathExists(copy)) << copy;
        EXPECT_FALSE(PathExists(PhotoLookAhead::folder()));
    }
}

TEST_F(LookAheadTest, QuitDuringTheLookAheadEndsPromptlyAndLeavesNoFiles)
{
    queueFile("plain.jpg");
    queueFile("turned.jpg");
    std::promise<void> turning;
    const std::shared_future<void> turningSeen = turning.get_future().share();
    bool once = false;
    // The turn of the next photo lasts until the quit.
    duringRotation = [&](const std::string& path) {
        if (once || !path.ends_with("turned.jpg"))
            return;
        once = true;
        turning.set_value();
        EXPECT_TRUE(objects.quit.wait(std::chrono::duration_cast<std::chrono::milliseconds>(kBound)));
    };

    TransferThread thread(objects, shared, *queue, window, steps);
    thread.start(); // queueing set the work event
    ASSERT_TRUE(arrived(turningSeen));
    EXPECT_TRUE(thread.stop());
    ASSERT_EQ(madeCopies.size(), 1u);
    EXPECT_FALSE(PathExists(madeCopies[0]));
    EXPECT_EQ(preparedSoFar(), (std::vector<std::string>{SandboxPath("in/plain.jpg")}));
}
