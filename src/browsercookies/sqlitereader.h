#pragma once

// Reads rows from a SQLite database the client owns (a private copy): SQLite
// may replay the copy's write-ahead log into it, so it is opened for writing,
// which is why it must never be a browser's own file.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace quaylet::browsercookies {

// One result row; columns are numbered from 0 in the query's order.
class SqliteRow final {
  public:
    explicit SqliteRow(sqlite3_stmt* statement) : m_statement(statement) {}
    std::string text(int column) const; // the column's bytes (a blob's too)
    int64_t integer(int column) const;

  private:
    sqlite3_stmt* m_statement;
};

class SqliteReader final {
  public:
    explicit SqliteReader(const std::string& path);
    ~SqliteReader();
    SqliteReader(const SqliteReader&) = delete;
    SqliteReader& operator=(const SqliteReader&) = delete;

    bool valid() const { return m_db != nullptr; }

    // Runs the query and calls onRow for each row; false when the query
    // cannot be prepared (say, a column this version lacks) or stops with an
    // error.
    bool forEachRow(const std::string& sql, const std::function<void(const SqliteRow&)>& onRow) const;

  private:
    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace quaylet::browsercookies
