#pragma once

// What the engine tests share: a view that records what it was asked to show,
// a batch runner that waits for every queued file's outcome, and media made
// on the spot.

#include "engine/transferengine.h"

#include <chrono>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet::test {

// Steps that do nothing and answer at once, with `upload` for the upload
// (by default one that succeeds).
TransferSteps InstantSteps(std::function<int(const StepContext&, const UploadRequest&)> upload =
                               [](const StepContext&, const UploadRequest&) { return 1; });

class RecordingView final : public ITransferView {
public:
    void showState(TransferState state, const std::string& text) override
    {
        add([&] {
            states.push_back(state);
            stateTexts.push_back(text);
        });
    }
    void showCount(const std::string& text) override { add([&] { counts.push_back(text); }); }
    void showNextFile(const QueueRow& row) override { add([&] { nextFiles.push_back(row.queuedPath); }); }
    void showQueueReset() override { add([&] { ++queueResets; }); }
    void showProgress(int position) override { add([&] { progress.push_back(position); }); }
    void showProgressMaximum(int) override {}
    void showStatusText(const std::string& text) override { add([&] { statusTexts.push_back(text); }); }
    void showBalloon(const Balloon& b) override { add([&] { balloons.push_back(b); }); }
    void openUpgradePage(int limit) override { add([&] { upgradePages.push_back(limit); }); }
    void openEmailPage() override { add([&] { ++emailPages; }); }
    void runUploadCompleted() override { add([&] { ++completedDialogs; }); }
    void showNotification() override { add([&] { ++notifications; }); }

    // Waits until the condition holds (checked under the lock) or the time is up.
    template <typename Condition>
    bool waitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return condition(); });
    }

    std::mutex mutex; // guards everything below
    std::condition_variable changed;
    std::vector<int> states;
    std::vector<std::string> stateTexts;
    std::vector<std::string> counts;
    std::vector<std::string> nextFiles;
    std::vector<int> progress;
    std::vector<std::string> statusTexts;
    std::vector<Balloon> balloons;
    std::vector<int> upgradePages;
    int queueResets = 0;
    int emailPages = 0;
    int completedDialogs = 0;
    int notifications = 0;
    std::vector<std::pair<std::string, int>> outcomes;
    uint64_t changes = 0; // every call counts

private:
    template <typename F>
    void add(F f)
    {
        {
            std::lock_guard lock(mutex);
            f();
            ++changes;
        }
        changed.notify_all();
    }
};

// Hooks the view's outcome list to the engine.
void RecordOutcomes(TransferEngine& engine, RecordingView& view);

// Drops the paths and waits until that many outcomes are in and the queue is
// reset; false on time-out.
bool RunBatch(TransferEngine& engine, RecordingView& view, const std::vector<std::string>& paths,
              std::size_t expectedOutcomes, std::chrono::milliseconds timeout = std::chrono::seconds(90));

// A JPEG photo of the given size with a pattern that differs per seed.
std::string MakePhoto(const std::string& path, int width, int height, int seed = 0);
// A JPEG photo whose top left quarter is red and the rest blue, with the
// camera orientation tag set to the given value. With grain, every pixel
// varies a little, so the photo costs what a camera's photo of its size costs
// to decode.
std::string MakeTurnedPhoto(const std::string& path, int width, int height, uint16_t orientation,
                            bool grain = false);
// A short video with moving pictures and sound, made by ffmpeg.
std::string MakeClip(const std::string& path, int seconds, const std::string& size = "160x120");

// The service's address for every request of this process.
void UseService(const std::string& origin);

// How often what occurs in text (a log, the service's request log).
int CountOf(const std::string& text, const std::string& what);

} // namespace quaylet::test
