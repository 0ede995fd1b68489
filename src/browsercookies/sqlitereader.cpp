#include "browsercookies/sqlitereader.h"

#include <sqlite3.h>

namespace quaylet::browsercookies {

namespace {

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

} // namespace

std::string SqliteRow::text(int column) const
{
    const void* bytes = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return bytes != nullptr && size > 0
               ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
               : std::string();
}

int64_t SqliteRow::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

void SqliteReader::Closer::operator()(sqlite3* db) const noexcept
{
    sqlite3_close_v2(db);
}

SqliteReader::SqliteReader(const std::string& path)
{
    sqlite3* db = nullptr;
    // Never create: a missing copy is a failure, not an empty database.
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK)
        m_db.reset();
}

SqliteReader::~SqliteReader() = default;

bool SqliteReader::forEachRow(const std::string& sql,
                              const std::function<void(const SqliteRow&)>& onRow) const
{
    if (!m_db)
        return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return false;
    const std::unique_ptr<sqlite3_stmt, Finalizer> statement(raw);
    const SqliteRow row(raw);
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE)
            return true;
        if (rc != SQLITE_ROW)
            return false;
        onRow(row);
    }
}

} // namespace quaylet::browsercookies
