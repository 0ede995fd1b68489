#include "update/updatecheck.h"

#include "core/logfile.h"
#include "platform/internet.h"
#include "update/versionfile.h"

#include <QString>
#include <QUrl>

namespace quaylet {

namespace {

struct FileLocation {
    bool secure = false;
    std::string host;
    uint16_t port = 80;
    std::string object; // path and query
};

std::optional<FileLocation> Locate(const std::string& address)
{
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    FileLocation location;
    if (url.scheme() == QLatin1String("https"))
        location.secure = true;
    else if (url.scheme() != QLatin1String("http"))
        return std::nullopt;
    location.host = url.host().toStdString();
    location.port = static_cast<uint16_t>(url.port(location.secure ? 443 : 80));
    location.object =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment).toStdString();
    if (location.object.empty() || location.object.front() != '/')
        location.object.insert(0, "/");
    return location;
}

// One read into a buffer of `size` bytes: filled until it is full or the reply
// has ended, however the bytes arrive; whatever follows is never read.
bool ReadOnce(platform::InternetRequest& request, std::size_t size, std::string& text)
{
    text.resize(size);
    std::size_t filled = 0;
    while (filled < size) {
        std::size_t got = 0;
        if (!request.read(text.data() + filled, size - filled, got))
            return false;
        if (got == 0)
            break;
        filled += got;
    }
    text.resize(filled);
    return true;
}

} // namespace

CUpdateCheck::CUpdateCheck(std::optional<std::array<int, 4>> ownVersion)
    : m_ownVersion(ownVersion)
{
}

CUpdateCheck::~CUpdateCheck() = default;

int CUpdateCheck::CheckForUpdate(const std::string& address, uint32_t& ownVersion, uint32_t& webVersion)
{
    using namespace platform;
    if (!m_ownVersion)
        return 0;
    const uint32_t own =
        PackVersion(static_cast<uint32_t>((*m_ownVersion)[0]), static_cast<uint32_t>((*m_ownVersion)[1]));
    ownVersion = own;
    // Hexadecimal on purpose: the log has always shown versions this way.
    WriteLog(LogTrace, "CUpdateCheck: Current version is %x.%x", VersionMajor(own), VersionMinor(own));

    const auto location = Locate(address);
    if (!location)
        return 0;
    InternetSession session(kAgent);
    InternetConnection connection(session, location->host, location->port, location->secure);
    InternetRequest request(connection, "GET", location->object);
    // Always from the server itself: a proxy's stored copy could hide a new
    // version for as long as it keeps it.
    if (!request.addHeaders("Cache-Control: no-cache\r\nPragma: no-cache\r\n") || !request.sendHead(0) ||
        !request.endRequest())
        return 0;

    std::string text;
    if (!ReadOnce(request, kReadSize, text)) {
        WriteLog(LogTrace, "CUpdateCheck: Failed to read Web version");
        return 0;
    }
    if (text.empty())
        return 0;
    // The status is not looked at: an error page has no numbers in front and
    // reads as version 0.0.
    const WebVersion web = ParseVersionFile(text);
    webVersion = web.version;
    WriteLog(LogTrace, "CUpdateCheck: Web version is %x.%x", VersionMajor(web.version), VersionMinor(web.version));
    if (web.version <= own)
        return 0;
    auto download = WebDownloadAddress(web.downloadAddress);
    if (!download) {
        WriteLog(LogMilestone, "CUpdateCheck: The download address is not a web address, version %u.%u not offered",
                 VersionMajor(web.version), VersionMinor(web.version));
        return 0;
    }
    m_downloadAddress = std::move(*download);
    return 1;
}

UpdateCheckAnswer RunUpdateCheck(CUpdateCheck& check, const std::string& address)
{
    UpdateCheckAnswer answer;
    try {
        answer.result = check.CheckForUpdate(address, answer.ownVersion, answer.webVersion);
        if (answer.result == 1)
            answer.downloadAddress = check.downloadAddress();
    } catch (...) {
        // Made on a worker thread, which must not let an exception out.
        answer = {};
    }
    return answer;
}

} // namespace quaylet
