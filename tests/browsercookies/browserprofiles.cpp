#include "browserprofiles.h"

#include "support/sandbox.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

namespace quaylet::test {

namespace fs = std::filesystem;

namespace {

// Chromium counts microseconds since 1601-01-01.
int64_t ChromiumTime(int64_t unixSeconds)
{
    return (unixSeconds + 11'644'473'600) * 1'000'000;
}

class Statement final {
  public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("prepare: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& text(int at, const std::string& value)
    {
        sqlite3_bind_text(m_statement, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& blob(int at, const std::string& value)
    {
        sqlite3_bind_blob(m_statement, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(int at, int64_t value)
    {
        sqlite3_bind_int64(m_statement, at, value);
        return *this;
    }
    void run()
    {
        if (sqlite3_step(m_statement) != SQLITE_DONE)
            throw std::runtime_error("insert failed");
        sqlite3_reset(m_statement);
    }

  private:
    sqlite3_stmt* m_statement = nullptr;
};

void Replace(const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(path + suffix);
}

} // namespace

TestDatabase::TestDatabase(const std::string& path)
{
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path);
}

TestDatabase::~TestDatabase()
{
    sqlite3_close(m_db);
}

void TestDatabase::exec(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

void AddFirefoxCookies(TestDatabase& db, const std::vector<TestCookie>& cookies)
{
    Statement insert(db.handle(),
                     "INSERT INTO moz_cookies (originAttributes, name, value, host, path, expiry, "
                     "lastAccessed, creationTime, isSecure, isHttpOnly) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
    for (const TestCookie& c : cookies)
        insert.text(1, c.originAttributes)
            .text(2, c.name)
            .text(3, c.value)
            .text(4, c.host)
            .text(5, c.path)
            .integer(6, c.expires)
            .integer(7, c.created)
            .integer(8, c.created)
            .integer(9, c.secure ? 1 : 0)
            .run();
}

void MakeFirefoxDatabase(const std::string& path, const std::vector<TestCookie>& cookies)
{
    Replace(path);
    TestDatabase db(path);
    db.exec("CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', "
            "name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, "
            "creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, "
            "sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0, schemeMap INTEGER DEFAULT 0, "
            "CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes))");
    AddFirefoxCookies(db, cookies);
}

void MakeFirefoxProfiles(const std::string& folder,
                         const std::vector<std::pair<std::string, std::vector<TestCookie>>>& profiles)
{
    std::string ini = "[General]\nStartWithLastProfile=1\nVersion=2\n\n";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        ini += "[Profile" + std::to_string(i) + "]\nName=p" + std::to_string(i) +
               "\nIsRelative=1\nPath=" + profiles[i].first + "\n" + (i == 0 ? "Default=1\n" : "") + "\n";
        MakeFirefoxDatabase(folder + "/" + profiles[i].first + "/cookies.sqlite", profiles[i].second);
    }
    WriteFile(folder + "/profiles.ini", ini);
}

void MakeChromiumDatabase(const std::string& path, const std::vector<TestCookie>& cookies, int metaVersion)
{
    Replace(path);
    TestDatabase db(path);
    db.exec("CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR)");
    db.exec("INSERT INTO meta VALUES ('version', '" + std::to_string(metaVersion) +
            "'), ('last_compatible_version', '20')");
    const bool partitioned = metaVersion >= 16;
    const bool ancestors = metaVersion >= 23;
    db.exec(std::string("CREATE TABLE cookies (creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL, ") +
            (partitioned ? "top_frame_site_key TEXT NOT NULL DEFAULT '', " : "") +
            "name TEXT NOT NULL, value TEXT NOT NULL, "
            "encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT NULL, "
            "is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL DEFAULT 0, "
            "last_access_utc INTEGER NOT NULL DEFAULT 0, has_expires INTEGER NOT NULL DEFAULT 1, "
            "is_persistent INTEGER NOT NULL DEFAULT 1, priority INTEGER NOT NULL DEFAULT 1, "
            "samesite INTEGER NOT NULL DEFAULT -1, source_scheme INTEGER NOT NULL DEFAULT 2, "
            "source_port INTEGER NOT NULL DEFAULT 443, last_update_utc INTEGER NOT NULL DEFAULT 0" +
            (ancestors ? ", has_cross_site_ancestor INTEGER NOT NULL DEFAULT 0" : "") + ")");
    Statement insert(db.handle(),
                     "INSERT INTO cookies (creation_utc, host_key, name, value, encrypted_value, path, "
                     "expires_utc, is_secure) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (const TestCookie& c : cookies) {
        insert.integer(1, c.created)
            .text(2, c.host)
            .text(3, c.name)
            .text(4, c.value)
            .blob(5, c.encrypted)
            .text(6, c.path)
            .integer(7, c.expires == 0 ? 0 : ChromiumTime(c.expires))
            .integer(8, c.secure ? 1 : 0)
            .run();
        if (!c.topFrameSiteKey.empty())
            db.exec("UPDATE cookies SET top_frame_site_key = '" + c.topFrameSiteKey + "'" +
                    (ancestors ? ", has_cross_site_ancestor = " + std::to_string(c.crossSiteAncestor ? 1 : 0)
                               : std::string()) +
                    " WHERE rowid = last_insert_rowid()");
    }
}

} // namespace quaylet::test
