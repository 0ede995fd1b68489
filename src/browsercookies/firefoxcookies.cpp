#include "browsercookies/browsercookiedb.h"
#include "browsercookies/privatecopy.h"
#include "browsercookies/sqlitereader.h"

namespace quaylet::browsercookies {

namespace {

// Later versions store the expiry in milliseconds; a number of seconds this
// large would lie thousands of years ahead.
constexpr int64_t kMillisecondExpiryFloor = 100'000'000'000;

int64_t ExpirySeconds(int64_t stored)
{
    return stored >= kMillisecondExpiryFloor ? stored / 1000 : stored;
}

} // namespace

std::optional<std::vector<StoredCookie>> ReadFirefoxCookies(const std::string& databasePath, std::time_t now)
{
    std::vector<StoredCookie> cookies;
    const auto onRow = [&](const SqliteRow& row) {
        StoredCookie cookie;
        cookie.host = row.text(0);
        cookie.name = row.text(1);
        cookie.value = row.text(2);
        cookie.path = row.text(3);
        cookie.expired = ExpirySeconds(row.integer(4)) <= now;
        cookie.secure = row.integer(5) != 0;
        cookie.created = row.integer(6);
        cookies.push_back(std::move(cookie));
    };
    static constexpr const char* kColumns =
        "SELECT host, name, value, path, expiry, isSecure, creationTime FROM moz_cookies";
    const bool read = ReadPrivateCopy(databasePath, [&](const SqliteReader& db) {
        cookies.clear();
        // Databases older than containers have no origin attributes.
        if (db.forEachRow(std::string(kColumns) + " WHERE originAttributes = ''", onRow))
            return true;
        cookies.clear();
        return db.forEachRow(kColumns, onRow);
    });
    if (!read)
        return std::nullopt;
    return cookies;
}

} // namespace quaylet::browsercookies
