#pragma once

// The service's addresses. Each is a scheme and a host without a trailing
// slash. QUAYLET_SERVICE_URL (for example http://127.0.0.1:8080) points every
// one of them at that single origin, which is how the development service and
// the tests are reached; it is read on every call, so nothing is cached. A
// path in the variable is ignored, for every request and page alike.
//
// The fixed addresses stay the scrambling key's site addresses whatever the
// variable says: stored passwords must not depend on where requests go.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

// The fixed addresses of the real service.
inline constexpr const char* kFixedSiteAddress = "https://www.glimmerly.example";
inline constexpr const char* kFixedBareSiteAddress = "https://glimmerly.example";
inline constexpr const char* kFixedEarlierSiteAddress = "https://www.kestrelio.example";
inline constexpr const char* kFixedApiHostAddress = "https://api.glimmerly.example";
inline constexpr const char* kFixedSupportSiteAddress = "https://support.glimmerly.example";

inline constexpr const char* kServiceUrlVariable = "QUAYLET_SERVICE_URL";

// The override's origin ("scheme://host[:port]", or "host[:port]" as given);
// nothing when the variable is unset or empty.
std::optional<std::string> ServiceUrlOverride();

// Where requests and pages go (the fixed address or the override).
std::string SiteAddress();        // the web site: connection test, pages, version file
std::string BareSiteAddress();    // the web site without "www."
std::string EarlierSiteAddress(); // the earlier product's web site
std::string ApiHostAddress();     // the XML API
std::string SupportSiteAddress(); // help pages

// An address split for a connection: "http[s]://host[:port]", anything after
// the host and port ignored. A missing scheme means http; the port defaults
// to the scheme's; an IPv6 host is written in brackets ("[::1]:8080").
struct ServiceOrigin {
    bool secure = false;
    std::string host;
    uint16_t port = 80;
};
std::optional<ServiceOrigin> ParseServiceOrigin(const std::string& address);

} // namespace quaylet
