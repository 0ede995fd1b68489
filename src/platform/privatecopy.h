#pragma once

// A private copy of a browser's SQLite database, taken so that the browser's
// own files are never opened by SQLite: a running browser holds them locked,
// and SQLite would otherwise create side files beside them. The copy lives in
// the process's private temporary directory together with the database's
// write-ahead log and rollback journal (so that committed changes still in the
// log are seen), and is removed when the object goes.

#include <string>

namespace quaylet::platform {

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

} // namespace quaylet::platform
