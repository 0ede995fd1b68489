#include "platform/browsercookiedb.h"
#include "platform/chromiumcrypt.h"
#include "platform/privatecopy.h"
#include "platform/sqlitereader.h"

namespace quaylet::platform {

namespace {

// From this database version on, encrypted values start with the SHA-256 of
// the cookie's host.
constexpr int64_t kHostDigestVersion = 24;

// Chromium counts microseconds since 1601-01-01.
constexpr int64_t kEpochDeltaSeconds = 11'644'473'600;

int64_t ChromiumTime(std::time_t unixSeconds)
{
    return (static_cast<int64_t>(unixSeconds) + kEpochDeltaSeconds) * 1'000'000;
}

int64_t DatabaseVersion(const SqliteReader& db)
{
    int64_t version = 0;
    db.forEachRow("SELECT value FROM meta WHERE key = 'version'",
                  [&](const SqliteRow& row) { version = row.integer(0); });
    return version;
}

struct ChromiumRow {
    StoredCookie cookie;
    std::string encrypted;
};

} // namespace

std::optional<std::vector<StoredCookie>> ReadChromiumCookies(const std::string& databasePath, std::time_t now,
                                                             const CookieAddress& address,
                                                             const CookieNote& note)
{
    const PrivateDatabaseCopy copy(databasePath);
    if (copy.path().empty())
        return std::nullopt;
    const SqliteReader db(copy.path());
    const int64_t chromiumNow = ChromiumTime(now);
    std::vector<ChromiumRow> rows;
    const auto onRow = [&](const SqliteRow& row) {
        ChromiumRow r;
        r.cookie.host = row.text(0);
        r.cookie.name = row.text(1);
        r.cookie.value = row.text(2);
        r.encrypted = row.text(3);
        r.cookie.path = row.text(4);
        const int64_t expires = row.integer(5);
        r.cookie.expired = expires != 0 && expires <= chromiumNow; // 0: a session cookie
        r.cookie.secure = row.integer(6) != 0;
        r.cookie.created = row.integer(7);
        rows.push_back(std::move(r));
    };
    static constexpr const char* kColumns =
        "SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure";
    if (!db.forEachRow(std::string(kColumns) + ", creation_utc FROM cookies", onRow)) {
        rows.clear();
        if (!db.forEachRow(std::string(kColumns) + ", rowid FROM cookies", onRow))
            return std::nullopt;
    }
    const bool digestPrefix = DatabaseVersion(db) >= kHostDigestVersion;
    std::vector<StoredCookie> cookies;
    for (ChromiumRow& row : rows) {
        if (!CookieMatches(row.cookie, address))
            continue;
        if (!row.cookie.value.empty() || row.encrypted.empty()) {
            cookies.push_back(std::move(row.cookie));
            continue;
        }
        const ChromiumValueKind kind = ClassifyChromiumValue(row.encrypted);
        std::optional<std::string> value;
        if (kind == ChromiumValueKind::FixedKey)
            value = DecryptFixedKeyValue(row.encrypted, digestPrefix);
        if (!value) {
            if (note)
                note("BrowserCookies: passed over cookie \"" + row.cookie.name + "\" of " + row.cookie.host +
                     " in " + databasePath +
                     (kind == ChromiumValueKind::KeyringKey ? ": encrypted with the desktop keyring"
                                                            : ": cannot be decrypted"));
            continue;
        }
        row.cookie.value = std::move(*value);
        cookies.push_back(std::move(row.cookie));
    }
    return cookies;
}

} // namespace quaylet::platform
