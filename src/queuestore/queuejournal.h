#pragma once

// The queue store behind the engine's journal interface. The store lives on
// a worker thread of its own, so that no caller ever waits for the disk
// unless it asks to: the window thread only posts, the transfer thread waits
// for its changes to be kept (see queuejournal's interface), and front ends
// read through futures.
//
// Taking rows up again: takeUnfinished() (what earlier runs of the account
// left open) and takeFailed() ("retry failed") take rows for this process and
// return their paths in order; the front end then queues those paths as a drop
// would, and each path queued goes on under its old row instead of a new one.
// settleTaken() ends that: a taken row whose path was not queued again (the
// file is gone or no longer accepted) is recorded as failed.

#include "queuestore/queuestore.h"
#include "transfer/queuejournal.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace quaylet {

struct QueueJournalOptions {
    std::string storePath = QueueStore::DefaultPath();
    QueueStoreLimits limits;
    // Seconds since 1970; empty: the clock.
    std::function<int64_t()> now;
    // Called once, on the journal's thread, when the store cannot be kept (at
    // the start or later): uploads go on, nothing is resumed.
    std::function<void()> unavailable;
};

class QueueJournal final : public IQueueJournal {
public:
    explicit QueueJournal(QueueJournalOptions options = {});
    // Writes what was posted, then ends the worker.
    ~QueueJournal() override;
    Q_DISABLE_COPY_MOVE(QueueJournal)

    // The account rows are queued for; set before queueing.
    void setAccount(const std::string& account);

    std::future<std::vector<StoredRow>> takeUnfinished();
    std::future<std::vector<StoredRow>> takeFailed();
    // takeUnfinished and takeFailed for a caller that must not wait: done gets
    // the rows on the journal's thread.
    using TakenHandler = std::function<void(std::vector<StoredRow>)>;
    void takeUnfinished(TakenHandler done);
    void takeFailed(TakenHandler done);
    void settleTaken();
    // The account's rows, newest first.
    std::future<std::vector<StoredRow>> recent(int64_t limit);
    // recent for a caller that must not wait: done gets them on the journal's thread.
    void recent(int64_t limit, TakenHandler done);
    // Called on the journal's thread after each change it wrote to a row (one
    // call may stand for several); empty: nobody listens.
    void setRowsChanged(std::function<void()> listener);
    // Whether the store is kept; waits until it was opened.
    bool available();
    // Waits until everything posted so far is written.
    void flush();

    void queued(uint64_t rowId, const std::string& userPath, int type) override;
    void started(uint64_t rowId) override;
    void uploading(uint64_t rowId, const std::string& sentPath) override;
    void finished(uint64_t rowId, int result) override;
    void removedWithoutOutcome(uint64_t rowId, bool cancelledByUser) override;

private:
    using Task = std::function<void()>;
    void post(Task task);
    void postAndWait(Task task);
    void run();
    int64_t now() const;
    std::future<std::vector<StoredRow>> take(std::vector<StoredState> states);
    void take(std::vector<StoredState> states, TakenHandler done);
    void noticeIfLost();
    void rowsChanged();

    QueueJournalOptions m_options;

    // Worker thread only.
    QueueStore m_store;
    bool m_wasWritable = true;
    std::string m_account;
    std::unordered_map<uint64_t, int64_t> m_storeIds; // queue row id -> store row id
    std::unordered_map<uint64_t, int64_t> m_sentBytes;
    std::function<void()> m_rowsChanged;

    std::mutex m_takenMutex; // guards m_awaiting
    std::map<std::string, int64_t> m_awaiting; // taken rows not queued again, by path

    std::mutex m_mutex; // guards m_tasks and m_stopping
    std::condition_variable m_wake;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
    std::thread m_worker; // last: started once everything above exists
};

} // namespace quaylet
