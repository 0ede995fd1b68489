#include "queuestore/queuestore.h"

#include "core/logfile.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet {

namespace {

constexpr const char* kStateNames[] = {"queued", "preparing", "uploading", "uploaded", "failed", "cancelled"};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS rows ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " path BLOB NOT NULL,"
    " kind INTEGER NOT NULL,"
    " size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL,"
    " account TEXT NOT NULL,"
    " state TEXT NOT NULL,"
    " attempts INTEGER NOT NULL DEFAULT 0,"
    " result INTEGER NOT NULL DEFAULT 0,"
    " queued_at INTEGER NOT NULL,"
    " finished_at INTEGER NOT NULL DEFAULT 0,"
    " bytes_sent INTEGER NOT NULL DEFAULT 0,"
    " owner_pid INTEGER NOT NULL,"
    " owner_start INTEGER NOT NULL,"
    " owner_boot TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS rows_by_account ON rows(account, state, id);";

constexpr const char* kRowColumns =
    "id, path, kind, size, modified, account, state, attempts, result, queued_at, finished_at, bytes_sent";

// Another process may hold the write lock for a moment.
constexpr int kBusyTimeoutMs = 5000;

class Statement final {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return m_statement != nullptr; }
    Statement& bind(int index, int64_t value)
    {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement& bind(int index, const std::string& text)
    {
        sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int index, const std::string& bytes)
    {
        sqlite3_bind_blob(m_statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR; }
    // Ready to run again with new values.
    void reset()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    int64_t integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string text(int column) const
    {
        const void* bytes = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return bytes && size > 0 ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                                 : std::string();
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

StoredRow readRow(const Statement& s)
{
    StoredRow row;
    row.id = s.integer(0);
    row.path = s.text(1);
    row.kind = static_cast<int>(s.integer(2));
    row.size = s.integer(3);
    row.modified = s.integer(4);
    row.account = s.text(5);
    row.state = StoredStateFromName(s.text(6)).value_or(StoredState::Failed);
    row.attempts = static_cast<int>(s.integer(7));
    row.result = static_cast<int>(s.integer(8));
    row.queuedAt = s.integer(9);
    row.finishedAt = s.integer(10);
    row.bytesSent = s.integer(11);
    return row;
}

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// mkdir -p with 0700 for what it makes; an existing folder of ours is made 0700.
bool makePrivateFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            return false;
        if ((st.st_mode & 077) != 0 && st.st_uid == ::getuid())
            ::chmod(folder.c_str(), 0700);
        return true;
    }
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makePrivateFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string stampText(int64_t now)
{
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local {};
    ::localtime_r(&t, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace

const char* StoredStateName(StoredState state)
{
    return kStateNames[static_cast<int>(state)];
}

std::optional<StoredState> StoredStateFromName(std::string_view name)
{
    for (int i = 0; i < static_cast<int>(std::size(kStateNames)); ++i) {
        if (name == kStateNames[i])
            return static_cast<StoredState>(i);
    }
    return std::nullopt;
}

bool IsOpenState(StoredState state)
{
    return state == StoredState::Queued || state == StoredState::Preparing || state == StoredState::Uploading;
}

void QueueStore::Closer::operator()(sqlite3* db) const noexcept
{
    sqlite3_close_v2(db);
}

std::string QueueStore::DefaultPath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base = state && state[0] == '/' ? std::string(state) : std::string();
    if (base.empty()) {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/state";
    }
    return base + "/quaylet/queue.db";
}

QueueStore::QueueStore(std::string path) : m_path(std::move(path)) {}

QueueStore::~QueueStore() = default;

bool QueueStore::exec(const char* sql)
{
    return m_db && sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void QueueStore::lost()
{
    if (!m_db)
        return;
    WriteLog(LogMilestone, "QueueStore: %s cannot be written (%s); the queue is no longer kept", m_path.c_str(),
             sqlite3_errmsg(m_db.get()));
    m_db.reset();
}

void QueueStore::moveAside(int64_t now)
{
    m_movedAsideTo = m_path + ".damaged-" + stampText(now);
    if (::rename(m_path.c_str(), m_movedAsideTo.c_str()) != 0) {
        // It cannot be moved: it goes, so that a new one can be made.
        ::unlink(m_path.c_str());
        m_movedAsideTo.clear();
    }
    // The log and index of the damaged file belong to it, not to the new one.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = m_path + suffix;
        if (m_movedAsideTo.empty() || ::rename(companion.c_str(), (m_movedAsideTo + suffix).c_str()) != 0)
            ::unlink(companion.c_str());
    }
    WriteLog(LogMilestone, "QueueStore: %s is damaged; moved aside to %s", m_path.c_str(),
             m_movedAsideTo.empty() ? "(removed)" : m_movedAsideTo.c_str());
}

QueueStore::OpenResult QueueStore::open(int64_t now, const QueueStoreLimits& limits)
{
    m_db.reset();
    m_movedAsideTo.clear();
    const auto slash = m_path.find_last_of('/');
    if (slash == std::string::npos || !makePrivateFolder(m_path.substr(0, slash))) {
        WriteLog(LogMilestone, "QueueStore: the folder of %s cannot be made", m_path.c_str());
        return OpenResult::Unwritable;
    }
    bool damaged = false;
    if (openAt(now, limits, damaged))
        return OpenResult::Opened;
    if (!damaged)
        return OpenResult::Unwritable;
    m_db.reset();
    moveAside(now);
    if (openAt(now, limits, damaged))
        return OpenResult::Recreated;
    m_db.reset();
    return OpenResult::Unwritable;
}

bool QueueStore::openAt(int64_t now, const QueueStoreLimits& limits, bool& damaged)
{
    damaged = false;
    // Made by us first, so that it never exists with wider rights; SQLite
    // gives its log and index files the rights of the database.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        WriteLog(LogMilestone, "QueueStore: %s cannot be opened for writing", m_path.c_str());
        return false;
    }
    ::fchmod(fd, 0600);
    ::close(fd);

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK)
        return false;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);

    // Every step below reads the file: the first one on a damaged file fails.
    const auto run = [&](const char* sql) {
        const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (isDamage(code))
            damaged = true;
        return code == SQLITE_OK;
    };
    if (!run("PRAGMA journal_mode=WAL") || !run("PRAGMA synchronous=FULL") || !run(kSchema))
        return false;
    {
        Statement check(db, "PRAGMA quick_check");
        if (!check.valid() || check.step() != SQLITE_ROW || check.text(0) != "ok") {
            damaged = true;
            return false;
        }
    }
    Statement prune(db,
                    "DELETE FROM rows WHERE queued_at < ?1 OR (state NOT IN ('queued','preparing','uploading') AND "
                    "id <= (SELECT id FROM rows ORDER BY id DESC LIMIT 1 OFFSET ?2))");
    prune.bind(1, now - limits.maxAgeSeconds).bind(2, limits.maxRows);
    const int pruned = prune.step();
    if (pruned != SQLITE_DONE) {
        damaged = isDamage(pruned);
        return false;
    }
    if (const int gone = sqlite3_changes(db); gone > 0)
        WriteLog(LogTrace, "QueueStore: pruned %d old rows", gone);
    return true;
}

std::optional<int64_t> QueueStore::add(const StoredRow& row)
{
    if (!m_db)
        return std::nullopt;
    const ProcessIdentity own = OwnProcessIdentity();
    Statement s(m_db.get(),
                "INSERT INTO rows (path, kind, size, modified, account, state, queued_at, owner_pid, owner_start, "
                "owner_boot) VALUES (?1, ?2, ?3, ?4, ?5, 'queued', ?6, ?7, ?8, ?9)");
    s.bindBlob(1, row.path).bind(2, row.kind).bind(3, row.size).bind(4, row.modified).bind(5, row.account);
    s.bind(6, row.queuedAt).bind(7, own.pid).bind(8, own.startTicks).bind(9, own.bootId);
    if (s.step() != SQLITE_DONE) {
        lost();
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(m_db.get());
}

bool QueueStore::setOpenState(int64_t id, StoredState state)
{
    if (!m_db)
        return false;
    Statement s(m_db.get(), "UPDATE rows SET state = ?2, attempts = attempts + ?3 WHERE id = ?1");
    s.bind(1, id).bind(2, std::string(StoredStateName(state))).bind(3, state == StoredState::Uploading ? 1 : 0);
    if (s.step() != SQLITE_DONE) {
        lost();
        return false;
    }
    return true;
}

bool QueueStore::finish(int64_t id, StoredState state, int result, int64_t bytesSent, int64_t now)
{
    if (!m_db)
        return false;
    Statement s(m_db.get(),
                "UPDATE rows SET state = ?2, result = ?3, bytes_sent = ?4, finished_at = ?5 WHERE id = ?1");
    s.bind(1, id).bind(2, std::string(StoredStateName(state))).bind(3, result).bind(4, bytesSent).bind(5, now);
    if (s.step() != SQLITE_DONE) {
        lost();
        return false;
    }
    return true;
}

std::vector<StoredRow> QueueStore::take(const std::string& account, const std::vector<StoredState>& states)
{
    std::vector<StoredRow> taken;
    if (!m_db || states.empty())
        return taken;
    // The write lock from the start: a second process taking rows waits here
    // and then sees them owned by a running process.
    if (!exec("BEGIN IMMEDIATE")) {
        WriteLog(LogMilestone, "QueueStore: rows cannot be taken: %s", sqlite3_errmsg(m_db.get()));
        return taken;
    }
    std::string wanted;
    for (const StoredState state : states)
        wanted += std::string(wanted.empty() ? "'" : ",'") + StoredStateName(state) + "'";
    const std::string sql = std::string("SELECT ") + kRowColumns +
                            ", owner_pid, owner_start, owner_boot FROM rows WHERE account = ?1 AND state IN (" +
                            wanted + ") ORDER BY id";
    const ProcessIdentity own = OwnProcessIdentity();
    std::vector<StoredRow> candidates;
    {
        Statement s(m_db.get(), sql.c_str());
        s.bind(1, account);
        int code;
        while ((code = s.step()) == SQLITE_ROW) {
            const ProcessIdentity owner {s.integer(12), s.integer(13), s.text(14)};
            // A finished row belongs to nobody; an open one to its running owner.
            const StoredRow row = readRow(s);
            if (IsOpenState(row.state) && (owner == own || ProcessIsRunning(owner)))
                continue;
            candidates.push_back(row);
        }
        if (code != SQLITE_DONE) {
            exec("ROLLBACK");
            return taken;
        }
    }
    Statement update(m_db.get(), "UPDATE rows SET state = 'queued', owner_pid = ?2, owner_start = ?3, "
                                 "owner_boot = ?4, finished_at = 0 WHERE id = ?1");
    for (StoredRow& row : candidates) {
        update.bind(1, row.id).bind(2, own.pid).bind(3, own.startTicks).bind(4, own.bootId);
        const int code = update.step();
        update.reset();
        if (code != SQLITE_DONE) {
            exec("ROLLBACK");
            lost();
            return {};
        }
        row.state = StoredState::Queued;
        taken.push_back(row);
    }
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        lost();
        return {};
    }
    return taken;
}

std::vector<StoredRow> QueueStore::recent(const std::string& account, int64_t limit)
{
    std::vector<StoredRow> rows;
    if (!m_db)
        return rows;
    const std::string sql = std::string("SELECT ") + kRowColumns + " FROM rows" +
                            (account.empty() ? "" : " WHERE account = ?2") + " ORDER BY id DESC LIMIT ?1";
    Statement s(m_db.get(), sql.c_str());
    s.bind(1, limit);
    if (!account.empty())
        s.bind(2, account);
    while (s.step() == SQLITE_ROW)
        rows.push_back(readRow(s));
    return rows;
}

} // namespace quaylet
