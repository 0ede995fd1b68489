#include "browsercookies/cookieheader.h"

#include "platform/asciitext.h"

#include <algorithm>

namespace quaylet::browsercookies {

using platform::LowerAscii;
using platform::StartsWithNoCase;

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool HostMatches(const std::string& cookieHost, const std::string& host)
{
    const std::string stored = Lower(cookieHost);
    if (stored.empty() || stored[0] != '.')
        return stored == host;
    // ".site.example" is sent to site.example and to every host below it.
    return std::string_view(stored).substr(1) == host || EndsWith(host, stored);
}

// A cookie's path covers the request path when it is a prefix ending at a
// path-segment boundary (RFC 6265 5.1.4).
bool PathMatches(const std::string& cookiePath, const std::string& path)
{
    const std::string stored = cookiePath.empty() ? "/" : cookiePath;
    if (path.compare(0, stored.size(), stored) != 0)
        return false;
    return stored.size() == path.size() || stored.back() == '/' || path[stored.size()] == '/';
}

} // namespace

std::optional<CookieAddress> ParseCookieAddress(const std::string& address)
{
    CookieAddress parsed;
    std::string_view rest(address);
    if (StartsWithNoCase(rest, "https://")) {
        parsed.secure = true;
        rest.remove_prefix(8);
    } else if (StartsWithNoCase(rest, "http://")) {
        rest.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    parsed.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    const std::size_t query = parsed.path.find_first_of("?#");
    if (query != std::string::npos)
        parsed.path.erase(query);
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        authority = authority.substr(0, close + 1);
    } else {
        authority = authority.substr(0, authority.find(':'));
    }
    if (authority.empty())
        return std::nullopt;
    parsed.host = Lower(authority);
    return parsed;
}

bool CookieMatches(const StoredCookie& cookie, const CookieAddress& address)
{
    return !cookie.expired && (address.secure || !cookie.secure) && HostMatches(cookie.host, address.host) &&
           PathMatches(cookie.path, address.path);
}

std::string CookieHeaderText(std::vector<StoredCookie> cookies, const CookieAddress& address)
{
    std::erase_if(cookies, [&](const StoredCookie& c) { return !CookieMatches(c, address); });
    std::stable_sort(cookies.begin(), cookies.end(), [](const StoredCookie& a, const StoredCookie& b) {
        if (a.path.size() != b.path.size())
            return a.path.size() > b.path.size();
        return a.created < b.created;
    });
    std::string text;
    for (const StoredCookie& cookie : cookies) {
        if (!text.empty())
            text += "; ";
        // A cookie stored without a name is sent as its value alone.
        if (!cookie.name.empty())
            text += cookie.name + "=";
        text += cookie.value;
    }
    return text;
}

} // namespace quaylet::browsercookies
