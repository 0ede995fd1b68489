#include "update/versionfetch.h"

#include "platform/asciitext.h"
#include "platform/internet.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <string_view>

namespace quaylet {

namespace {

using namespace platform;

struct FileLocation {
    bool secure = false;
    std::string host;
    uint16_t port = 80;
    std::string object; // path and query
};

std::optional<FileLocation> Locate(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    FileLocation location;
    if (url.scheme() == QLatin1String("https"))
        location.secure = true;
    else if (url.scheme() != QLatin1String("http"))
        return std::nullopt;
    location.host = url.host().toStdString();
    location.port = static_cast<uint16_t>(url.port(location.secure ? 443 : 80));
    location.object = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment).toStdString();
    if (location.object.empty() || location.object.front() != '/')
        location.object.insert(0, "/");
    return location;
}

// One request with what it is made through, which must outlive it.
struct Exchange {
    Exchange(const std::string& agent, const FileLocation& location)
        : session(agent)
        , connection(session, location.host, location.port, location.secure)
        , request(connection, "GET", location.object)
    {
    }
    InternetSession session;
    InternetConnection connection;
    InternetRequest request;
};

std::string HeaderValue(std::string_view headers, std::string_view name)
{
    while (!headers.empty()) {
        const auto end = headers.find('\n');
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos && EqualsNoCase(Trim(line.substr(0, colon)), name))
            return std::string(Trim(line.substr(colon + 1)));
    }
    return {};
}

bool IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The reply to the address, after the redirects the server asks for; nothing
// when there is none.
std::unique_ptr<Exchange> Open(QUrl url, const std::string& agent)
{
    for (int redirects = 0;; ++redirects) {
        const auto location = Locate(url);
        if (!location)
            return nullptr;
        auto exchange = std::make_unique<Exchange>(agent, *location);
        // Always from the server itself: a proxy's stored copy could hide a
        // new version for as long as it keeps it.
        if (!exchange->request.addHeaders("Cache-Control: no-cache\r\nPragma: no-cache\r\n") ||
            !exchange->request.sendHead(0) || !exchange->request.endRequest())
            return nullptr;
        const std::string target = IsRedirect(exchange->request.statusCode())
                                       ? HeaderValue(exchange->request.responseHeaders(), "Location")
                                       : std::string();
        if (target.empty())
            return exchange;
        if (redirects == kMaxVersionRedirects)
            return nullptr;
        const QUrl next = url.resolved(QUrl(QString::fromStdString(target), QUrl::StrictMode));
        // A file asked for over https never arrives over plain http.
        if (location->secure && next.scheme() != QLatin1String("https"))
            return nullptr;
        url = next;
    }
}

} // namespace

VersionFetch FetchVersionFile(const std::string& address, const std::string& agent, std::size_t readSize,
                              std::string& text)
{
    text.clear();
    const auto exchange = Open(QUrl(QString::fromStdString(address), QUrl::StrictMode), agent);
    if (!exchange)
        return VersionFetch::NotOpened;
    text.resize(readSize);
    std::size_t filled = 0;
    while (filled < readSize) {
        std::size_t got = 0;
        if (!exchange->request.read(text.data() + filled, readSize - filled, got)) {
            text.clear();
            return VersionFetch::ReadFailed;
        }
        if (got == 0)
            break;
        filled += got;
    }
    text.resize(filled);
    return VersionFetch::Read;
}

} // namespace quaylet
