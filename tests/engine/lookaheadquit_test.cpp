// A quit while the next photo is prepared ahead, with the real preparation of
// a large turned photo: the transfer thread must end within the window's
// bound and leave none of the look-ahead's files behind.

#include "engine/enginetestsupport.h"

#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "engine/servicesteps.h"
#include "platform/tempdir.h"
#include "support/recordingwindowreactions.h"
#include "support/sandbox.h"
#include "transfer/photolookahead.h"
#include "transfer/transferthread.h"
#include "transfer/uploadqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

using namespace quaylet;
using namespace std::chrono_literals;

TEST(LookAheadQuitTest, AQuitOneSecondIntoAnUploadStopsTheTurnOfTheNextLargePhoto)
{
    OpenLog("Quaylet.log");
    const std::string first = test::MakePhoto(test::SandboxPath("in/first.jpg"), 640, 480);
    // A portrait phone photo as the camera stores it.
    const std::string next = test::MakeTurnedPhoto(test::SandboxPath("in/next.jpg"), 6000, 4001, 6, true);

    TransferObjects objects;
    TransferShared shared;
    CFileDropListCtrl intake{test::SandboxPath("journal")};
    UploadQueueLinks links;
    links.objects = &objects;
    CUploadQueue queue(links);
    for (const std::string& path : {first, next}) {
        uint32_t type = PathTypeFile;
        ASSERT_EQ(queue.QueueDroppedFile(intake, path, type, false), 0);
    }

    TransferSteps steps = ServiceTransferSteps();
    steps.checkConnection = [](const StepContext&) { return true; };
    steps.fetchPremium = [](const StepContext&) { return true; };
    std::promise<void> uploading;
    std::atomic<bool> started{false};
    // An upload that lasts until it is stopped, as a slow one does.
    steps.upload = [&](const StepContext& ctx, const UploadRequest&) {
        if (!started.exchange(true))
            uploading.set_value();
        while (!ctx.shouldStop())
            std::this_thread::sleep_for(5ms);
        return kResultClientFailure;
    };
    CRecordingWindowReactions window;
    {
        TransferThread thread(objects, shared, queue, window, steps);
        thread.start();
        ASSERT_EQ(uploading.get_future().wait_for(60s), std::future_status::ready);
        std::this_thread::sleep_for(1s); // the next photo is being turned meanwhile

        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(thread.stop(test::TimeBound(500ms))); // the window's bound
        EXPECT_LT(std::chrono::steady_clock::now() - asked, test::TimeBound(500ms));
    }

    // Neither the upright copy nor anything of the look-ahead is left.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(platform::TempPath(), ec))
        EXPECT_FALSE(entry.path().filename().string().starts_with("TR")) << entry.path();
    EXPECT_FALSE(test::PathExists(PhotoLookAhead::folder()));
}
