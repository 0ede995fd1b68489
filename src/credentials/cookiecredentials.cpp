#include "credentials/cookiecredentials.h"

#include "browsercookies/browsercookies.h"
#include "platform/asciitext.h"
#include "platform/internet.h"
#include "platform/utf8.h"

#include "api/endpoints.h"
#include "core/logfile.h"

namespace quaylet {

namespace {

// The decoded value and its terminator must fit this buffer.
constexpr std::size_t kCookieValueBuffer = 260;

// The decoded value, or nothing when it would not fit the buffer or is not
// text (a byte limit that would otherwise cut a character).
std::optional<std::string> DecodeCookieValue(std::string_view value)
{
    std::string decoded = platform::PercentDecode(value);
    if (decoded.size() >= kCookieValueBuffer || !platform::IsValidUtf8(decoded))
        return std::nullopt;
    return decoded;
}

void TakeSegment(CProfile& profile, std::string_view segment)
{
    const std::size_t equals = segment.find('=');
    if (equals == std::string_view::npos)
        return;
    const std::string_view name = platform::Trim(segment.substr(0, equals));
    const std::string_view value = platform::Trim(segment.substr(equals + 1));
    std::string* field = nullptr;
    if (platform::EqualsNoCase(name, "cookieusername"))
        field = &profile.m_userName;
    else if (platform::EqualsNoCase(name, "cookiepassword"))
        field = &profile.m_password;
    if (field == nullptr)
        return;
    if (std::optional<std::string> decoded = DecodeCookieValue(value))
        *field = std::move(*decoded);
}

} // namespace

CookieTextReader BrowserCookieReader()
{
    browsercookies::BrowserCookieSources sources = browsercookies::DefaultBrowserCookieSources();
    sources.note = [](const std::string& line) { WriteLog(LogTrace, "%s", line.c_str()); };
    // A profile whose cookies for the site hold no credentials (a visitor's
    // cookie, say) must not hide a later profile's sign-in.
    sources.accept = [](const std::string& text) {
        CProfile profile;
        return ParseCookieCredentials(profile, text);
    };
    return [sources = std::move(sources)](const std::string& siteAddress) {
        return browsercookies::BrowserCookieText(siteAddress, sources);
    };
}

bool ParseCookieCredentials(CProfile& profile, std::string_view cookieText)
{
    // An empty segment ends the scan: nothing after ";;" or a leading ";" is read.
    std::string_view rest = cookieText;
    for (;;) {
        const std::size_t semicolon = rest.find(';');
        const std::string_view segment = rest.substr(0, semicolon);
        if (segment.empty())
            break;
        TakeSegment(profile, segment);
        if (semicolon == std::string_view::npos)
            break;
        rest.remove_prefix(semicolon + 1);
    }
    return profile.IsValid();
}

bool ReadCookieCredentials(CProfile& profile, const std::string& siteAddress, const CookieTextReader& reader)
{
    profile.m_userName.clear();
    profile.m_password.clear();
    const std::optional<std::string> text = reader(siteAddress);
    if (!text) {
        WriteLog(LogTrace, "CKestrelioClientDlg: cookie not found for %s", siteAddress.c_str());
        return false;
    }
    if (!ParseCookieCredentials(profile, *text)) {
        WriteLog(LogTrace, "CKestrelioClientDlg: failed to parse cookie for %s", siteAddress.c_str());
        return false;
    }
    WriteLog(LogTrace, "CKestrelioClientDlg: succeeded to parse cookie for %s", siteAddress.c_str());
    SaveCredentials(profile);
    return true;
}

std::vector<CredentialSource> CookieCredentialSources(const CookieTextReader& reader)
{
    std::vector<CredentialSource> sources;
    for (const char* site : {kFixedSiteAddress, kFixedBareSiteAddress, kFixedEarlierSiteAddress})
        sources.emplace_back(
            [site, reader](CProfile& profile) { return ReadCookieCredentials(profile, site, reader); });
    return sources;
}

} // namespace quaylet
