#include "update/versionfile.h"

#include "platform/asciitext.h"

#include <QString>
#include <QUrl>

namespace quaylet {

WebVersion ParseVersionFile(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const auto bar = text.find('|');
        field = text.substr(0, bar);
        text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
    }
    WebVersion web;
    // A negative number keeps its low 16 bits, as a cast of the long would.
    web.version = PackVersion(static_cast<uint32_t>(platform::LeadingInteger(fields[0])),
                              static_cast<uint32_t>(platform::LeadingInteger(fields[1])));
    web.downloadAddress = std::string(fields[2]);
    return web;
}

std::optional<std::string> WebDownloadAddress(std::string_view field)
{
    const std::string line(field.substr(0, field.find_first_of("\r\n")));
    const QByteArray bytes = QByteArray::fromStdString(line);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) // not UTF-8: no browser would get it as sent
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
        url.host().isEmpty())
        return std::nullopt;
    return line;
}

} // namespace quaylet
