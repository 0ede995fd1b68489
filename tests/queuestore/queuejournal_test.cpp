// The journal as the queue and the transfer thread use it: each change lands
// in the store in the order it was made, rows taken up again go on under
// their old record, and a store that cannot be kept is reported once.

#include "queuestore/queuejournal.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quaylet;

namespace {

std::string storePath()
{
    return test::SandboxPath("state/quaylet/queue.db");
}

QueueJournalOptions options()
{
    QueueJournalOptions o;
    o.storePath = storePath();
    return o;
}

std::map<std::string, StoredRow> byPath(const std::vector<StoredRow>& rows)
{
    std::map<std::string, StoredRow> map;
    for (const auto& row : rows)
        map[row.path] = row;
    return map;
}

} // namespace

TEST(QueueJournalTest, RecordsEveryRowFromQueueingToItsOutcome)
{
    const std::string sent = test::SandboxPath("prepared.jpg");
    test::WriteFile(sent, std::string(1234, 'j'));
    test::WriteFile(test::SandboxPath("a.jpg"), "a");

    QueueJournal journal(options());
    journal.setAccount("alice@site");
    ASSERT_TRUE(journal.available());
    // Row ids as the queue numbers them; one path per outcome.
    const std::vector<std::pair<std::string, int>> outcomes {
        {test::SandboxPath("a.jpg"), 1}, {"/p/dup.jpg", -3}, {"/p/limit.jpg", -6}, {"/p/net.jpg", -8}};
    uint64_t rowId = 1;
    for (const auto& [path, result] : outcomes) {
        journal.queued(rowId, path, 1);
        journal.started(rowId);
        journal.uploading(rowId, sent);
        journal.finished(rowId, result);
        ++rowId;
    }
    journal.queued(10, "/p/cancelled.jpg", 1);
    journal.removedWithoutOutcome(10, true);
    journal.queued(11, "/p/quit.jpg", 2);
    journal.started(11);
    journal.removedWithoutOutcome(11, false);

    const auto rows = byPath(journal.recent(100).get());
    ASSERT_EQ(rows.size(), 6u);
    const StoredRow& a = rows.at(test::SandboxPath("a.jpg"));
    EXPECT_EQ(a.state, StoredState::Uploaded);
    EXPECT_EQ(a.size, 1);
    EXPECT_EQ(a.bytesSent, 1234);
    EXPECT_EQ(a.attempts, 1);
    EXPECT_GT(a.finishedAt, 0);
    EXPECT_EQ(rows.at("/p/dup.jpg").state, StoredState::Uploaded) << "the service holds a duplicate";
    EXPECT_EQ(rows.at("/p/limit.jpg").state, StoredState::Failed);
    EXPECT_EQ(rows.at("/p/limit.jpg").result, -6);
    EXPECT_EQ(rows.at("/p/net.jpg").bytesSent, 0);
    EXPECT_EQ(rows.at("/p/cancelled.jpg").state, StoredState::Cancelled);
    // A row of a quitting process stays open for the next run.
    EXPECT_EQ(rows.at("/p/quit.jpg").state, StoredState::Preparing);
    EXPECT_EQ(rows.at("/p/quit.jpg").kind, 2);
}

TEST(QueueJournalTest, TakenRowsGoOnUnderTheirOldRecord)
{
    // An earlier run left two files open and one failed, and one of Bob's
    // open, then ended.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            QueueJournal journal(options());
            journal.setAccount("alice@site");
            journal.queued(1, "/p/a.jpg", 1);
            journal.queued(2, "/p/gone.jpg", 1);
            journal.queued(3, "/p/failed.jpg", 1);
            journal.started(3);
            journal.finished(3, -8);
            journal.setAccount("bob@site");
            journal.queued(4, "/p/bob.jpg", 1);
        }
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);

    QueueJournal journal(options());
    journal.setAccount("alice@site");
    const auto taken = journal.takeUnfinished().get();
    ASSERT_EQ(taken.size(), 2u) << "Bob's row waits for Bob";
    EXPECT_EQ(taken[0].path, "/p/a.jpg");
    // Queued again under the same record, then uploaded; gone.jpg is not queued.
    journal.queued(7, "/p/a.jpg", 1);
    journal.settleTaken();
    journal.started(7);
    journal.finished(7, 1);
    const auto failed = journal.takeFailed().get();
    ASSERT_EQ(failed.size(), 2u) << "the earlier failure and the file that could not be queued again";
    journal.queued(8, "/p/failed.jpg", 1);
    journal.settleTaken();
    journal.started(8);
    journal.uploading(8, "/p/failed.jpg");
    journal.finished(8, 1);

    const auto rows = byPath(journal.recent(100).get());
    EXPECT_EQ(rows.size(), 3u) << "no new record for a file taken up again";
    EXPECT_EQ(rows.at("/p/a.jpg").state, StoredState::Uploaded);
    EXPECT_EQ(rows.at("/p/failed.jpg").state, StoredState::Uploaded);
    EXPECT_EQ(rows.at("/p/failed.jpg").attempts, 1);
    EXPECT_EQ(rows.at("/p/gone.jpg").state, StoredState::Failed);
}

TEST(QueueJournalTest, AStoreThatCannotBeWrittenIsReportedOnceAndChangesNothingElse)
{
    test::WriteFile(test::SandboxPath("state/quaylet/keep"), "");
    const int status = test::RunUnprivileged([] {
        ::chmod(test::SandboxPath("state/quaylet").c_str(), 0500);
        std::atomic<int> notices {0};
        QueueJournalOptions o = options();
        o.unavailable = [&notices] { ++notices; };
        QueueJournal journal(o);
        journal.setAccount("alice@site");
        for (uint64_t id = 1; id <= 3; ++id) {
            journal.queued(id, "/p/a.jpg", 1);
            journal.started(id);
            journal.finished(id, 1);
        }
        const bool nothing = journal.takeUnfinished().get().empty() && !journal.available();
        return nothing && notices == 1;
    });
    EXPECT_EQ(status, 0);
}
