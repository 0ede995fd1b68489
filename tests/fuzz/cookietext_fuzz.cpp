// Cookie texts: the site address, the stored cookies a browser database
// yields, the Cookie header made from them, and the credentials taken out of
// a header. Input: the address on the first line, then one cookie a line as
// host, name, value, path and flags ("s" secure, "x" expired) separated by
// tabs.

#include "credentials/cookiecredentials.h"
#include "fuzzsupport.h"
#include "browsercookies/cookieheader.h"

#include <cstdlib>

using quaylet::browsercookies::StoredCookie;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    const auto lines = quaylet::fuzz::SplitInput(text, '\n');

    std::vector<StoredCookie> cookies;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = quaylet::fuzz::SplitInput(lines[i], '\t');
        const auto field = [&](std::size_t n) { return std::string(n < fields.size() ? fields[n] : ""); };
        StoredCookie cookie{field(0), field(1), field(2), field(3)};
        const std::string flags = field(4);
        cookie.secure = flags.find('s') != std::string::npos;
        cookie.expired = flags.find('x') != std::string::npos;
        cookie.created = static_cast<int64_t>(i % 3);
        cookies.push_back(std::move(cookie));
    }

    std::string header;
    if (const auto address = quaylet::browsercookies::ParseCookieAddress(std::string(lines[0]))) {
        for (const StoredCookie& cookie : cookies)
            quaylet::browsercookies::CookieMatches(cookie, *address);
        header = quaylet::browsercookies::CookieHeaderText(cookies, *address);
    }

    quaylet::CProfile profile;
    if (quaylet::ParseCookieCredentials(profile, text) && !profile.IsValid())
        std::abort();
    quaylet::CProfile fromHeader;
    quaylet::ParseCookieCredentials(fromHeader, header);
    return 0;
}
