#pragma once

// A private copy of a browser's SQLite database, taken so that the browser's
// own files are never opened by SQLite: a running browser holds them locked,
// and SQLite would otherwise create side files beside them. The copy lives in
// the process's private temporary directory together with the database's
// write-ahead log and rollback journal (so that committed changes still in the
// log are seen), and is removed when the object goes.

#include <functional>
#include <string>

namespace quaylet::browsercookies {

class PrivateDatabaseCopy final {
  public:
    explicit PrivateDatabaseCopy(const std::string& databasePath);
    ~PrivateDatabaseCopy();
    PrivateDatabaseCopy(const PrivateDatabaseCopy&) = delete;
    PrivateDatabaseCopy& operator=(const PrivateDatabaseCopy&) = delete;

    // Empty when the database could not be read or copied.
    const std::string& path() const { return m_path; }

  private:
    void removeFiles();
    std::string m_path;
};

class SqliteReader;

// Opens a private copy of the database and hands it to `read`, which says
// whether it could read it. A browser that moves its write-ahead log into the
// database while the pair is being copied leaves a copy that reads as
// malformed, so a failed read is tried once more on a fresh copy of the pair.
// False when neither copy could be read.
bool ReadPrivateCopy(const std::string& databasePath, const std::function<bool(const SqliteReader&)>& read);

} // namespace quaylet::browsercookies
