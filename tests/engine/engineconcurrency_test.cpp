// The engine's threads against each other: queueing while the transfer thread
// drains the queue, and stopping a transfer thread that will not stop. The
// steps finish at once (or never), so only the engine's own code races.

#include "engine/enginetestsupport.h"

#include "core/logfile.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

TransferEngineOptions EngineOptions(TransferSteps steps)
{
    TransferEngineOptions options;
    options.pollNotifications = false;
    options.steps = std::move(steps);
    options.renameJournalDirectory = test::SandboxPath("journal");
    options.uptimeMs = [] { return uint64_t{0}; };
    return options;
}

// Busy-waits up to the given number of microseconds.
void pause(std::mt19937& random, unsigned upTo)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % upTo);
    while (std::chrono::steady_clock::now() < until) {
    }
}

// A view that takes a moment to clear its display when the queue is reset,
// as a real one does; the transfer thread waits meanwhile, holding the
// reactions' lock.
class ClearingView final : public ITransferView {
public:
    void showState(TransferState, const std::string&) override {}
    void showCount(const std::string& text) override
    {
        if (text.empty())
            clear();
    }
    void showNextFile(const QueueRow&) override {}
    void showQueueReset() override { clear(); }
    void showProgress(int) override {}
    void showProgressMaximum(int) override {}
    void showStatusText(const std::string&) override {}
    void showBalloon(const Balloon&) override {}
    void openUpgradePage(int) override {}
    void openEmailPage() override {}
    void runUploadCompleted() override {}

private:
    static void clear() { std::this_thread::sleep_for(std::chrono::microseconds(200)); }
};

} // namespace

// The headless front end queues on its main thread while its reactions run
// on the transfer thread: a drop may land just as the thread finds the queue
// empty and clears the work event.
TEST(EngineConcurrencyTest, FilesQueuedWhileTheQueueDrainsAreNeverLeftWaiting)
{
    ClearingView view;
    TransferEngine engine(view, EngineOptions(test::InstantSteps()));
    std::atomic<std::size_t> finished{0};
    engine.setFileFinishedHandler([&](const QueueRow&, int) { ++finished; });
    engine.start();

    // Spins rather than sleeps, so that this thread follows the transfer
    // thread closely; false when the condition did not hold within 5 s.
    const auto spinUntil = [](const auto& condition) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    };
    std::mt19937 random(7);
    std::size_t queued = 0;
    for (int round = 0; round < 300; ++round) {
        const int files = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < files; ++i) {
            // Files that do not exist are queued all the same, and the steps
            // never open them.
            uint32_t type = PathTypeFile;
            const std::string path =
                "/nonexistent/r" + std::to_string(round) + "_" + std::to_string(i) + ".jpg";
            ASSERT_EQ(engine.queue().QueueDroppedFile(engine.intake(), path, type, false), 0);
            ++queued;
            pause(random, 20);
        }
        // The last row goes right after its outcome; the thread then finds
        // the queue empty. The next drop lands somewhere in that pass.
        ASSERT_TRUE(spinUntil([&] { return finished == queued && engine.queue().count() == 0; }))
            << "round " << round << ": a queued file was left waiting";
        pause(random, 300);
    }
    EXPECT_TRUE(engine.stop(2000ms));
}

// A step that ignores quit and cancel is a fault, but the engine must still
// not free what the thread uses.
TEST(EngineConcurrencyTest, AStopThatTimedOutKeepsFailingAndTheProcessEndsInsteadOfFreeing)
{
    EXPECT_EXIT(
        {
            SetLogMirror(true); // the death test reads standard error
            OpenLog("Quaylet.log");
            platform::Event never(platform::Event::Reset::Manual);
            TransferSteps steps = test::InstantSteps();
            steps.upload = [&never](const StepContext&, const UploadRequest&) {
                never.wait();
                return 1;
            };
            test::RecordingView view;
            auto engine = std::make_unique<TransferEngine>(view, EngineOptions(steps));
            engine->start();
            uint32_t type = PathTypeFile;
            engine->queue().QueueDroppedFile(engine->intake(), "/nonexistent/stuck.jpg", type, false);
            const auto uploading = [&] {
                return !view.states.empty() && view.states.back() == kStateUploading;
            };
            if (!view.waitFor(uploading, 10s))
                std::_Exit(2);
            if (engine->stop(100ms))
                std::_Exit(3);
            if (engine->stop(100ms))
                std::_Exit(4); // the thread still runs: a second stop must fail too
            engine.reset();
            std::_Exit(5); // freed under the running thread
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "ending the process around a stuck transfer thread");
}
