#include "queuestore/queuejournal.h"

#include "core/logfile.h"

#include <ctime>
#include <set>
#include <sys/stat.h>

namespace quaylet {

namespace {

// API result codes as the transfer thread reports them.
constexpr int kUploaded = 1;
constexpr int kAlreadyHeld = -3;
constexpr int kClientFailure = -8;

StoredState stateOfResult(int result)
{
    // A duplicate is a file the service holds: it needs no retry.
    return result == kUploaded || result == kAlreadyHeld ? StoredState::Uploaded : StoredState::Failed;
}

} // namespace

QueueJournal::QueueJournal(QueueJournalOptions options)
    : m_options(std::move(options)), m_store(m_options.storePath), m_worker([this] { run(); })
{
    post([this] {
        const auto opened = m_store.open(now(), m_options.limits);
        if (opened == QueueStore::OpenResult::Unwritable)
            WriteLog(LogMilestone, "QueueStore: %s cannot be written; uploads are not kept for a later run",
                     m_store.path().c_str());
        noticeIfLost();
    });
}

QueueJournal::~QueueJournal()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

int64_t QueueJournal::now() const
{
    return m_options.now ? m_options.now() : static_cast<int64_t>(std::time(nullptr));
}

void QueueJournal::post(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void QueueJournal::postAndWait(Task task)
{
    std::promise<void> done;
    auto future = done.get_future();
    post([&task, &done] {
        task();
        done.set_value();
    });
    future.wait();
}

void QueueJournal::run()
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return; // stopping, and everything posted is written
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

void QueueJournal::noticeIfLost()
{
    if (m_wasWritable && !m_store.writable()) {
        m_wasWritable = false;
        if (m_options.unavailable)
            m_options.unavailable();
    }
}

void QueueJournal::rowsChanged()
{
    if (m_rowsChanged)
        m_rowsChanged();
}

void QueueJournal::setRowsChanged(std::function<void()> listener)
{
    post([this, listener = std::move(listener)]() mutable { m_rowsChanged = std::move(listener); });
}

void QueueJournal::setAccount(const std::string& account)
{
    post([this, account] { m_account = account; });
}

bool QueueJournal::available()
{
    bool writable = false;
    postAndWait([this, &writable] { writable = m_store.writable(); });
    return writable;
}

void QueueJournal::flush()
{
    postAndWait([] {});
}

std::future<std::vector<StoredRow>> QueueJournal::takeUnfinished()
{
    return take({StoredState::Queued, StoredState::Preparing, StoredState::Uploading});
}

std::future<std::vector<StoredRow>> QueueJournal::takeFailed()
{
    return take({StoredState::Failed});
}

void QueueJournal::takeUnfinished(TakenHandler done)
{
    take({StoredState::Queued, StoredState::Preparing, StoredState::Uploading}, std::move(done));
}

void QueueJournal::takeFailed(TakenHandler done)
{
    take({StoredState::Failed}, std::move(done));
}

std::future<std::vector<StoredRow>> QueueJournal::take(std::vector<StoredState> states)
{
    auto promise = std::make_shared<std::promise<std::vector<StoredRow>>>();
    auto future = promise->get_future();
    take(std::move(states), [promise](std::vector<StoredRow> rows) { promise->set_value(std::move(rows)); });
    return future;
}

void QueueJournal::take(std::vector<StoredState> states, TakenHandler done)
{
    post([this, done = std::move(done), states = std::move(states)] {
        std::vector<StoredRow> taken = m_store.take(m_account, states);
        noticeIfLost();
        // One file is queued once: a second row of the same path is done with.
        std::vector<StoredRow> unique;
        std::set<std::string> seen;
        for (StoredRow& row : taken) {
            if (!seen.insert(row.path).second) {
                m_store.finish(row.id, StoredState::Cancelled, row.result, row.bytesSent, now());
                continue;
            }
            unique.push_back(std::move(row));
        }
        if (!taken.empty())
            rowsChanged();
        {
            std::lock_guard lock(m_takenMutex);
            for (const StoredRow& row : unique)
                m_awaiting[row.path] = row.id;
        }
        done(std::move(unique));
    });
}

void QueueJournal::settleTaken()
{
    std::map<std::string, int64_t> left;
    {
        std::lock_guard lock(m_takenMutex);
        left.swap(m_awaiting);
    }
    if (left.empty())
        return;
    post([this, left = std::move(left)] {
        for (const auto& [path, id] : left) {
            WriteLog(LogMilestone, "QueueStore: %s could not be queued again", path.c_str());
            m_store.finish(id, StoredState::Failed, kClientFailure, 0, now());
        }
        noticeIfLost();
        rowsChanged();
    });
}

std::future<std::vector<StoredRow>> QueueJournal::recent(int64_t limit)
{
    auto promise = std::make_shared<std::promise<std::vector<StoredRow>>>();
    auto future = promise->get_future();
    recent(limit, [promise](std::vector<StoredRow> rows) { promise->set_value(std::move(rows)); });
    return future;
}

void QueueJournal::recent(int64_t limit, TakenHandler done)
{
    post([this, limit, done = std::move(done)] { done(m_store.recent(m_account, limit)); });
}

void QueueJournal::queued(uint64_t rowId, const std::string& userPath, int type)
{
    int64_t takenId = 0;
    {
        std::lock_guard lock(m_takenMutex);
        if (const auto it = m_awaiting.find(userPath); it != m_awaiting.end()) {
            takenId = it->second;
            m_awaiting.erase(it);
        }
    }
    post([this, rowId, userPath, type, takenId] {
        if (takenId != 0) {
            m_storeIds[rowId] = takenId;
            return;
        }
        StoredRow row;
        row.path = userPath;
        row.kind = type;
        struct stat st {};
        if (::stat(userPath.c_str(), &st) == 0) {
            row.size = st.st_size;
            row.modified = st.st_mtim.tv_sec;
        }
        row.account = m_account;
        row.queuedAt = now();
        if (const auto id = m_store.add(row))
            m_storeIds[rowId] = *id;
        noticeIfLost();
        rowsChanged();
    });
}

void QueueJournal::started(uint64_t rowId)
{
    postAndWait([this, rowId] {
        if (const auto it = m_storeIds.find(rowId); it != m_storeIds.end())
            m_store.setOpenState(it->second, StoredState::Preparing);
        noticeIfLost();
        rowsChanged();
    });
}

void QueueJournal::uploading(uint64_t rowId, const std::string& sentPath)
{
    postAndWait([this, rowId, sentPath] {
        struct stat st {};
        m_sentBytes[rowId] = ::stat(sentPath.c_str(), &st) == 0 ? st.st_size : 0;
        if (const auto it = m_storeIds.find(rowId); it != m_storeIds.end())
            m_store.setOpenState(it->second, StoredState::Uploading);
        noticeIfLost();
        rowsChanged();
    });
}

void QueueJournal::finished(uint64_t rowId, int result)
{
    postAndWait([this, rowId, result] {
        const auto it = m_storeIds.find(rowId);
        const int64_t sent = result == kClientFailure ? 0 : m_sentBytes[rowId];
        m_sentBytes.erase(rowId);
        if (it == m_storeIds.end())
            return;
        m_store.finish(it->second, stateOfResult(result), result, sent, now());
        m_storeIds.erase(it);
        noticeIfLost();
        rowsChanged();
    });
}

void QueueJournal::removedWithoutOutcome(uint64_t rowId, bool cancelledByUser)
{
    post([this, rowId, cancelledByUser] {
        m_sentBytes.erase(rowId);
        const auto it = m_storeIds.find(rowId);
        if (it == m_storeIds.end())
            return;
        // A row left by a quitting process stays open for the next run.
        if (cancelledByUser)
            m_store.finish(it->second, StoredState::Cancelled, 0, 0, now());
        m_storeIds.erase(it);
        noticeIfLost();
        rowsChanged();
    });
}

} // namespace quaylet
