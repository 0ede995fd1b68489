#pragma once

// Turns the cookies a browser has stored into the Cookie header it would send
// to one address: host cookies of exactly that host and domain cookies of the
// host or its parent domains, whose path matches the address's path, not
// expired, secure ones only over https; longer paths first, then older first.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::browsercookies {

// One stored cookie, whichever browser it came from.
struct StoredCookie {
    std::string host; // "www.site.example" (host cookie) or ".site.example" (domain cookie)
    std::string name;
    std::string value;
    std::string path;
    bool secure = false;
    bool expired = false;
    int64_t created = 0; // only compared between cookies of one database
};

// The parts of an address that select cookies.
struct CookieAddress {
    bool secure = false;
    std::string host; // lower case, without port
    std::string path; // "/" when the address has none
};

// "scheme://host[:port][/path]" with scheme http or https; nothing otherwise.
std::optional<CookieAddress> ParseCookieAddress(const std::string& address);

bool CookieMatches(const StoredCookie& cookie, const CookieAddress& address);

// "name=value; name=value" of the matching cookies in sending order; empty
// when none matches.
std::string CookieHeaderText(std::vector<StoredCookie> cookies, const CookieAddress& address);

} // namespace quaylet::browsercookies
