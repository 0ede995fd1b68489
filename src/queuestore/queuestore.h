#pragma once

// The lasting record of the upload queue: one SQLite database per user, in
// which every queued file has a row that follows it from queueing to its
// outcome. A row that is still open (queued, preparing, uploading) belongs to
// the process that queued it while that process runs; once it is gone the
// row is free for a later run of the same account to take up again.
//
// The database is kept in WAL mode with one transaction per change, in a file
// only its user may read (0600) in a folder only its user may enter (0700).
// A database that cannot be read as one is moved aside and a new one made; one
// that cannot be written turns the store off (writable() false) and every
// later call into a no-op, so that uploads go on without it.
//
// Threads: one object is used by one thread at a time (QueueJournal keeps it
// on a worker thread of its own). Several processes may use one database.

#include "queuestore/processidentity.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quaylet {

enum class StoredState { Queued, Preparing, Uploading, Uploaded, Failed, Cancelled };

const char* StoredStateName(StoredState state);
std::optional<StoredState> StoredStateFromName(std::string_view name);
// Queued, preparing or uploading: not finished yet.
bool IsOpenState(StoredState state);

struct StoredRow {
    int64_t id = 0;
    std::string path; // the bytes of the path as the user named the file
    int kind = 1;     // 1 photo, 2 video
    int64_t size = 0;
    int64_t modified = 0; // seconds since 1970, at queueing
    std::string account;
    StoredState state = StoredState::Queued;
    int attempts = 0;
    int result = 0; // the last API result code; 0 none yet
    int64_t queuedAt = 0;
    int64_t finishedAt = 0; // 0 while open
    int64_t bytesSent = 0;
};

struct QueueStoreLimits {
    int64_t maxAgeSeconds = 90 * 24 * 3600;
    int64_t maxRows = 10000;
};

class QueueStore final {
public:
    enum class OpenResult {
        Opened,
        // The old file could not be read as a database: it was moved aside
        // (movedAsideTo()) and a new one made.
        Recreated,
        // Nothing can be kept: the folder or the file cannot be written.
        Unwritable,
    };

    // $XDG_STATE_HOME/quaylet/queue.db (~/.local/state when unset or relative).
    static std::string DefaultPath();

    explicit QueueStore(std::string path);
    ~QueueStore();
    QueueStore(const QueueStore&) = delete;
    QueueStore& operator=(const QueueStore&) = delete;

    // Opens (or makes) the database and prunes rows beyond the limits.
    OpenResult open(int64_t now, const QueueStoreLimits& limits = {});
    bool writable() const { return m_db != nullptr; }
    const std::string& path() const { return m_path; }
    const std::string& movedAsideTo() const { return m_movedAsideTo; }

    // A new open row owned by this process; its id, or nothing on failure.
    std::optional<int64_t> add(const StoredRow& row);
    // An open row moves on (preparing, uploading; attempts counts uploads).
    bool setOpenState(int64_t id, StoredState state);
    // The outcome of a row: its final state, result code and bytes sent.
    bool finish(int64_t id, StoredState state, int result, int64_t bytesSent, int64_t now);

    // Takes, for this process and in their order, every row of the account in
    // one of the given states that no running process owns; taken rows become
    // queued. Two processes never take the same row.
    std::vector<StoredRow> take(const std::string& account, const std::vector<StoredState>& states);

    // Rows newest first; account empty: every account.
    std::vector<StoredRow> recent(const std::string& account, int64_t limit);

private:
    bool openAt(int64_t now, const QueueStoreLimits& limits, bool& damaged);
    bool exec(const char* sql);
    void lost(); // a write failed: the store is off from now on
    void moveAside(int64_t now);

    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };
    std::string m_path;
    std::string m_movedAsideTo;
    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace quaylet
