#include "api/endpoints.h"

#include "platform/asciitext.h"
#include "platform/internet.h"

#include <algorithm>
#include <cstdlib>

namespace quaylet {

std::optional<std::string> ServiceUrlOverride()
{
    const char* value = std::getenv(kServiceUrlVariable);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    // Only the origin counts: a path, query or fragment is dropped, so that
    // every request and page lands at the same place on the service as with
    // the fixed addresses (none of which has a path).
    std::string url = value;
    const auto sep = url.find("://");
    const auto authority = sep == std::string::npos ? 0 : sep + 3;
    // Without a host it still counts as given, so that the requests fail
    // instead of reaching the real service.
    url.resize(std::min(url.size(), url.find_first_of("/?#", authority)));
    return url;
}

namespace {
std::string Resolve(const char* fixed)
{
    auto override = ServiceUrlOverride();
    return override ? *override : std::string(fixed);
}
} // namespace

std::string SiteAddress()
{
    return Resolve(kFixedSiteAddress);
}

std::string BareSiteAddress()
{
    return Resolve(kFixedBareSiteAddress);
}

std::string EarlierSiteAddress()
{
    return Resolve(kFixedEarlierSiteAddress);
}

std::string ApiHostAddress()
{
    return Resolve(kFixedApiHostAddress);
}

std::string SupportSiteAddress()
{
    return Resolve(kFixedSupportSiteAddress);
}

std::optional<ServiceOrigin> ParseServiceOrigin(const std::string& address)
{
    ServiceOrigin origin;
    std::string rest = address;
    if (const auto sep = rest.find("://"); sep != std::string::npos) {
        const std::string scheme = rest.substr(0, sep);
        if (platform::EqualsNoCase(scheme, "https"))
            origin.secure = true;
        else if (!platform::EqualsNoCase(scheme, "http"))
            return std::nullopt;
        rest = rest.substr(sep + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    origin.port = origin.secure ? 443 : 80;
    std::string portText;
    if (!rest.empty() && rest.front() == '[') { // [v6]:port
        const auto close = rest.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        origin.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return std::nullopt;
            portText = rest.substr(close + 2);
        }
    } else if (const auto colon = rest.find(':'); colon != std::string::npos) {
        origin.host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
    } else {
        origin.host = rest;
    }
    if (origin.host.empty())
        return std::nullopt;
    if (!portText.empty()) {
        const auto port = platform::ParsePortNumber(portText);
        if (!port || *port == 0)
            return std::nullopt;
        origin.port = *port;
    }
    return origin;
}

} // namespace quaylet
