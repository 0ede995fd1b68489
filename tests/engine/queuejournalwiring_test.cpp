// What the engine tells the queue's lasting record, and when: a file is on
// record before the transfer thread works on it and its outcome before its
// row goes; Cancel ends the rows, a quitting process leaves them open.

#include "engine/enginetestsupport.h"

#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

using namespace quaylet;

namespace {

class RecordingJournal final : public IQueueJournal {
public:
    void queued(uint64_t id, const std::string& userPath, int) override { add(id, "queued " + userPath); }
    void started(uint64_t id) override { add(id, "started"); }
    void uploading(uint64_t id, const std::string&) override { add(id, "uploading"); }
    void finished(uint64_t id, int result) override { add(id, "finished " + std::to_string(result)); }
    void removedWithoutOutcome(uint64_t id, bool byUser) override { add(id, byUser ? "cancelled" : "left open"); }

    std::map<uint64_t, std::vector<std::string>> byRow() const
    {
        std::lock_guard lock(m_mutex);
        return m_rows;
    }
    bool has(uint64_t id, const std::string& event) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_rows.find(id);
        return it != m_rows.end() && std::find(it->second.begin(), it->second.end(), event) != it->second.end();
    }

private:
    void add(uint64_t id, const std::string& event)
    {
        std::lock_guard lock(m_mutex);
        m_rows[id].push_back(event);
    }
    mutable std::mutex m_mutex; // guards m_rows
    std::map<uint64_t, std::vector<std::string>> m_rows;
};

TransferEngineOptions Options(TransferSteps steps, IQueueJournal& journal)
{
    TransferEngineOptions options;
    options.pollNotifications = false;
    options.steps = std::move(steps);
    options.renameJournalDirectory = test::SandboxPath("renames");
    options.uptimeMs = [] { return uint64_t {0}; };
    options.journal = &journal;
    return options;
}

std::vector<std::string> Files(const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const auto& name : names) {
        paths.push_back(test::SandboxPath("in/" + name));
        test::WriteFile(paths.back(), name);
    }
    return paths;
}

// Uploads that go on until the file is stopped.
int UntilStopped(const StepContext& ctx, const UploadRequest&)
{
    while (!ctx.shouldStop())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return -8;
}

// Polls for at most 20 s: the journal's records wake no one.
bool Eventually(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST(QueueJournalWiringTest, EveryFileIsOnRecordBeforeItIsWorkedOnAndItsOutcomeBeforeItGoes)
{
    RecordingJournal journal;
    test::RecordingView view;
    const auto paths = Files({"a.jpg", "b.jpg", "c.mov"});
    const std::map<std::string, int> results {{paths[0], 1}, {paths[1], -6}, {paths[2], -8}};
    TransferEngine engine(view, Options(test::InstantSteps([&](const StepContext&, const UploadRequest& r) {
                                            return results.at(r.path);
                                        }),
                                        journal));
    test::RecordOutcomes(engine, view);
    engine.start();
    ASSERT_TRUE(test::RunBatch(engine, view, paths, 3));
    engine.stop();

    const auto rows = journal.byRow();
    ASSERT_EQ(rows.size(), 3u);
    std::size_t i = 0;
    for (const auto& [id, events] : rows) {
        const int result = results.at(paths[i]);
        // -8 is tried three times, with one record of the sending.
        EXPECT_EQ(events, (std::vector<std::string> {"queued " + paths[i], "started", "uploading",
                                                      "finished " + std::to_string(result)}))
            << paths[i];
        ++i;
    }
}

TEST(QueueJournalWiringTest, CancelEndsTheRowsAndAQuittingProcessLeavesThemOpen)
{
    const auto paths = Files({"a.jpg", "b.jpg", "c.jpg"});
    {
        RecordingJournal journal;
        test::RecordingView view;
        TransferEngine engine(view, Options(test::InstantSteps(UntilStopped), journal));
        engine.start();
        engine.intake().OnDropFiles(paths);
        ASSERT_TRUE(Eventually([&] { return journal.has(1, "uploading"); }));
        engine.cancel({});
        engine.stop();
        for (uint64_t id = 1; id <= 3; ++id) {
            EXPECT_TRUE(journal.has(id, "cancelled")) << id;
            EXPECT_FALSE(journal.has(id, "finished -8")) << id;
        }
    }
    {
        RecordingJournal journal;
        test::RecordingView view;
        TransferEngine engine(view, Options(test::InstantSteps(UntilStopped), journal));
        engine.start();
        engine.intake().OnDropFiles(paths);
        ASSERT_TRUE(Eventually([&] { return journal.has(1, "uploading"); }));
        engine.stop();
        const auto rows = journal.byRow();
        for (const auto& [id, events] : rows) {
            EXPECT_EQ(std::count(events.begin(), events.end(), "cancelled"), 0) << id;
            EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                    [](const std::string& e) { return e.starts_with("finished"); }),
                      0)
                << id;
        }
    }
}
