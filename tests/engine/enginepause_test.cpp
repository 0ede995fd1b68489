// Pause Uploads in the engine: the file at work finishes, the rest of the
// queue (drops made while paused too) waits, and the end of the pause starts
// its head at once. Cancel and quit still act while paused. The steps answer
// at once, except uploads that wait for the test.

#include "engine/enginetestsupport.h"

#include "core/logfile.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

class EnginePauseTest : public ::testing::Test {
protected:
    void SetUp() override { OpenLog("Quaylet.log"); }

    void start(bool paused = false)
    {
        TransferEngineOptions options;
        options.pollNotifications = false;
        options.renameJournalDirectory = test::SandboxPath("journal");
        options.uptimeMs = [] { return uint64_t{0}; };
        options.steps = test::InstantSteps([this](const StepContext& ctx, const UploadRequest& request) {
            {
                std::lock_guard lock(mutex);
                uploads.push_back(request.path);
            }
            // The first upload lasts until the test lets it go.
            if (request.path.ends_with("/first.jpg"))
                while (!release && !ctx.shouldStop())
                    std::this_thread::sleep_for(2ms);
            return ctx.shouldStop() ? int{kResultClientFailure} : int{kResultUploaded};
        });
        engine = std::make_unique<TransferEngine>(view, std::move(options));
        test::RecordOutcomes(*engine, view);
        engine->setPaused(paused);
        engine->start();
    }

    void queue(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            uint32_t type = PathTypeFile;
            ASSERT_EQ(engine->queue().QueueDroppedFile(engine->intake(), "/nonexistent/" + name, type, false), 0);
        }
    }

    std::vector<std::string> uploaded()
    {
        std::lock_guard lock(mutex);
        return uploads;
    }

    bool shown(TransferState state, const std::string& text)
    {
        return view.waitFor(
            [&] { return !view.states.empty() && view.states.back() == state && view.stateTexts.back() == text; },
            10s);
    }

    bool outcomes(std::size_t count)
    {
        return view.waitFor([&] { return view.outcomes.size() >= count; }, 10s);
    }

    // What the view was last asked to show, and the files taken up so far.
    TransferState lastState()
    {
        std::lock_guard lock(view.mutex);
        return static_cast<TransferState>(view.states.back());
    }
    std::vector<std::pair<std::string, int>> outcomeList()
    {
        std::lock_guard lock(view.mutex);
        return view.outcomes;
    }
    std::size_t takenUp()
    {
        std::lock_guard lock(view.mutex);
        return view.nextFiles.size();
    }

    test::RecordingView view;
    std::mutex mutex; // guards uploads
    std::vector<std::string> uploads;
    std::atomic<bool> release{false};
    std::unique_ptr<TransferEngine> engine;
};

} // namespace

TEST_F(EnginePauseTest, APauseLetsTheFileAtWorkFinishAndHoldsTheRestUntilItEnds)
{
    start();
    queue({"first.jpg", "second.jpg"});
    ASSERT_TRUE(view.waitFor([&] { return !view.states.empty() && view.states.back() == kStateUploading; }, 10s));
    engine->setPaused(true);
    release = true;

    // The upload at work is not cut short: it ends as uploaded.
    ASSERT_TRUE(outcomes(1));
    EXPECT_EQ(outcomeList()[0].second, kResultUploaded);
    ASSERT_TRUE(shown(kStatePaused, "Paused"));
    // A drop while paused queues and waits with the rest.
    queue({"third.jpg"});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(uploaded(), std::vector<std::string>{"/nonexistent/first.jpg"});
    EXPECT_EQ(engine->queue().count(), 2u);
    EXPECT_EQ(lastState(), kStatePaused); // Cancel stays on for the waiting files

    engine->setPaused(false);
    ASSERT_TRUE(outcomes(3));
    EXPECT_EQ(uploaded(), (std::vector<std::string>{"/nonexistent/first.jpg", "/nonexistent/second.jpg",
                                                    "/nonexistent/third.jpg"}));
    EXPECT_TRUE(engine->stop(2000ms));
}

// A client that starts paused with files left from an earlier run: they
// queue and wait; nothing is taken up until the pause ends.
TEST_F(EnginePauseTest, AnEnginePausedFromTheStartHoldsEveryFileAndShowsPausedWhenIdle)
{
    start(true);
    ASSERT_TRUE(shown(kStateReady, "Paused"));
    queue({"a.jpg", "b.jpg"});
    ASSERT_TRUE(shown(kStatePaused, "Paused"));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(uploaded().empty());
    EXPECT_EQ(takenUp(), 0u); // no head was taken up

    engine->setPaused(false);
    ASSERT_TRUE(outcomes(2));
    EXPECT_EQ(uploaded().size(), 2u);
    EXPECT_TRUE(engine->stop(2000ms));
}

TEST_F(EnginePauseTest, CancelEmptiesAPausedQueueAndAQuitWhilePausedIsPrompt)
{
    start(true);
    queue({"a.jpg", "b.jpg", "c.jpg"});
    ASSERT_TRUE(shown(kStatePaused, "Paused"));
    engine->cancel({});
    EXPECT_EQ(engine->queue().count(), 0u);
    ASSERT_TRUE(shown(kStateReady, "Paused"));

    // The cancel is spent: a file dropped afterwards goes up once resumed.
    queue({"d.jpg"});
    engine->setPaused(false);
    ASSERT_TRUE(outcomes(1));
    EXPECT_EQ(outcomeList()[0], std::make_pair(std::string("/nonexistent/d.jpg"), int{kResultUploaded}));
    EXPECT_EQ(uploaded(), std::vector<std::string>{"/nonexistent/d.jpg"});

    engine->setPaused(true);
    queue({"e.jpg"});
    ASSERT_TRUE(shown(kStatePaused, "Paused"));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->stop(500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 200ms);
    EXPECT_EQ(uploaded().size(), 1u);
}
