#pragma once

// Browser cookie databases as the browsers write them, made with SQLite for
// tests: Firefox's cookies.sqlite with its profiles.ini, and a
// Chromium-family Cookies database with its meta version.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace quaylet::test {

inline constexpr int64_t kFarFuture = 4'102'444'800; // 2100-01-01
inline constexpr int64_t kLongAgo = 946'684'800;     // 2000-01-01

struct TestCookie {
    std::string host;
    std::string name;
    std::string value;
    std::string path = "/";
    int64_t expires = kFarFuture; // seconds since 1970; for Chromium 0 is a session cookie
    bool secure = false;
    int64_t created = 0;          // in the browser's own unit; orders cookies of one database
    std::string encrypted;        // Chromium: the encrypted_value bytes
    std::string topFrameSiteKey;  // Chromium: the partition ("https://site.example"); "" for none
    bool crossSiteAncestor = false; // Chromium: set in a frame with another site above it
    std::string originAttributes; // Firefox: "" for the default context
};

// An open connection, for running statements or holding locks.
class TestDatabase final {
  public:
    explicit TestDatabase(const std::string& path);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    void exec(const std::string& sql);
    sqlite3* handle() const { return m_db; }

  private:
    sqlite3* m_db = nullptr;
};

// Creates (replacing) a Firefox cookies.sqlite.
void MakeFirefoxDatabase(const std::string& path, const std::vector<TestCookie>& cookies);
void AddFirefoxCookies(TestDatabase& db, const std::vector<TestCookie>& cookies);

// Writes <folder>/profiles.ini naming the relative profile folders, the first
// marked as the default, and creates a cookies.sqlite in each with the given
// cookies.
void MakeFirefoxProfiles(const std::string& folder,
                         const std::vector<std::pair<std::string, std::vector<TestCookie>>>& profiles);

// Creates (replacing) a Chromium-family Cookies database of that meta version:
// before version 16 without partitions (top_frame_site_key), before 23
// without has_cross_site_ancestor.
void MakeChromiumDatabase(const std::string& path, const std::vector<TestCookie>& cookies, int metaVersion);

} // namespace quaylet::test
