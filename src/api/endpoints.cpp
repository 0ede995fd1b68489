#include "api/endpoints.h"

#include <cstdlib>
#include <strings.h>

namespace quaylet {

std::optional<std::string> ServiceUrlOverride()
{
    const char* value = std::getenv(kServiceUrlVariable);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    std::string url = value;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    if (url.empty())
        return std::nullopt;
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
        if (::strcasecmp(scheme.c_str(), "https") == 0)
            origin.secure = true;
        else if (::strcasecmp(scheme.c_str(), "http") != 0)
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
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const long port = std::strtol(portText.c_str(), nullptr, 10);
        if (port < 1 || port > 65535)
            return std::nullopt;
        origin.port = static_cast<uint16_t>(port);
    }
    return origin;
}

} // namespace quaylet
