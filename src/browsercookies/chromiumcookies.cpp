#include "browsercookies/browsercookiedb.h"
#include "browsercookies/chromiumcrypt.h"
#include "browsercookies/privatecopy.h"
#include "browsercookies/sqlitereader.h"

#include <set>

namespace quaylet::browsercookies {

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

// The query for the columns this version has. Older versions lack the
// partition (top_frame_site_key, later has_cross_site_ancestor) and may lack
// creation_utc, whose place the row order then takes.
std::string CookieQuery(const SqliteReader& db)
{
    std::set<std::string> columns;
    db.forEachRow("SELECT name FROM pragma_table_info('cookies')",
                  [&](const SqliteRow& row) { columns.insert(row.text(0)); });
    const auto columnOr = [&](const char* name, const char* otherwise) {
        return std::string(columns.contains(name) ? name : otherwise);
    };
    return "SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, " +
           columnOr("creation_utc", "rowid") + ", " + columnOr("top_frame_site_key", "''") + ", " +
           columnOr("has_cross_site_ancestor", "0") + " FROM cookies";
}

// A top-level visit to the address sends the cookies that are not
// partitioned and those partitioned under the address's own site, whose key
// is the scheme and the host or one of its parent domains
// ("https://glimmerly.example"). A cookie set in a frame that the site
// embedded inside another site's frame carries the site's own key but a
// cross-site ancestor, and is not sent either.
bool SentAtTopLevel(std::string_view partitionKey, bool crossSiteAncestor, const CookieAddress& address)
{
    if (partitionKey.empty())
        return true;
    const std::string_view scheme = address.secure ? "https://" : "http://";
    if (crossSiteAncestor || !partitionKey.starts_with(scheme))
        return false;
    const std::string_view site = partitionKey.substr(scheme.size());
    const std::string_view host = address.host;
    if (site == host)
        return true;
    return site.find('.') != std::string_view::npos && host.size() > site.size() + 1 && host.ends_with(site) &&
           host[host.size() - site.size() - 1] == '.';
}

struct ChromiumRow {
    StoredCookie cookie;
    std::string encrypted;
    std::string partitionKey;
    bool crossSiteAncestor = false;
};

// Asks for the keyring's password once, when the first "v11" value needs it.
class KeyringPasswordCache final {
  public:
    explicit KeyringPasswordCache(const KeyringPasswordOnce& read) : m_read(read) {}

    const std::optional<std::string>& get()
    {
        if (!m_asked && m_read)
            m_password = m_read();
        m_asked = true;
        return m_password;
    }

  private:
    const KeyringPasswordOnce& m_read;
    bool m_asked = false;
    std::optional<std::string> m_password;
};

} // namespace

std::optional<std::vector<StoredCookie>> ReadChromiumCookies(const std::string& databasePath, std::time_t now,
                                                             const CookieAddress& address,
                                                             const KeyringPasswordOnce& keyringPassword,
                                                             const CookieNote& note)
{
    const int64_t chromiumNow = ChromiumTime(now);
    std::vector<ChromiumRow> rows;
    bool digestPrefix = false;
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
        r.partitionKey = row.text(8);
        r.crossSiteAncestor = row.integer(9) != 0;
        rows.push_back(std::move(r));
    };
    const bool read = ReadPrivateCopy(databasePath, [&](const SqliteReader& db) {
        rows.clear();
        digestPrefix = DatabaseVersion(db) >= kHostDigestVersion;
        return db.forEachRow(CookieQuery(db), onRow);
    });
    if (!read)
        return std::nullopt;

    KeyringPasswordCache keyring(keyringPassword);
    std::vector<StoredCookie> cookies;
    for (ChromiumRow& row : rows) {
        if (!CookieMatches(row.cookie, address) || !SentAtTopLevel(row.partitionKey, row.crossSiteAncestor, address))
            continue;
        if (!row.cookie.value.empty() || row.encrypted.empty()) {
            cookies.push_back(std::move(row.cookie));
            continue;
        }
        const ChromiumValueKind kind = ClassifyChromiumValue(row.encrypted);
        std::optional<std::string> value;
        if (kind == ChromiumValueKind::FixedKey)
            value = DecryptChromiumValue(row.encrypted, kChromiumFixedPassword, digestPrefix);
        else if (kind == ChromiumValueKind::KeyringKey && keyring.get())
            value = DecryptChromiumValue(row.encrypted, *keyring.get(), digestPrefix);
        if (!value) {
            if (note)
                note("BrowserCookies: passed over cookie \"" + row.cookie.name + "\" of " + row.cookie.host +
                     " in " + databasePath +
                     (kind == ChromiumValueKind::KeyringKey && !keyring.get() ? ": encrypted with the desktop keyring"
                                                                             : ": cannot be decrypted"));
            continue;
        }
        row.cookie.value = std::move(*value);
        cookies.push_back(std::move(row.cookie));
    }
    return cookies;
}

} // namespace quaylet::browsercookies
