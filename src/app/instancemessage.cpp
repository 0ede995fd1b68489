#include "app/instancemessage.h"

namespace quaylet {

namespace {

const QByteArray kOpenPrefix = QByteArrayLiteral("open ");

// No command line is longer: whoever sends one does not speak our language,
// whether it arrives in one piece or in several.
constexpr qsizetype kMaxLineBytes = 64;

std::vector<std::string> SplitPaths(const QByteArray& payload)
{
    std::vector<std::string> paths;
    qsizetype start = 0;
    for (qsizetype end = payload.indexOf('\0'); end >= 0; end = payload.indexOf('\0', start)) {
        if (end > start)
            paths.emplace_back(payload.constData() + start, static_cast<std::size_t>(end - start));
        start = end + 1;
    }
    return paths;
}

} // namespace

QByteArray OpenMessage(const std::vector<std::string>& paths)
{
    QByteArray payload;
    for (const std::string& path : paths) {
        payload.append(path.data(), static_cast<qsizetype>(path.size()));
        payload.append('\0');
    }
    return kOpenPrefix + QByteArray::number(payload.size()) + '\n' + payload;
}

std::vector<InstanceMessage> InstanceMessageReader::feed(const QByteArray& bytes)
{
    std::vector<InstanceMessage> messages;
    if (m_broken)
        return messages;
    m_buffer.append(bytes);
    for (;;) {
        if (m_openBytes >= 0) {
            if (m_buffer.size() < m_openBytes)
                break;
            messages.push_back({QByteArrayLiteral("open"), SplitPaths(m_buffer.first(m_openBytes))});
            m_buffer.remove(0, m_openBytes);
            m_openBytes = -1;
            continue;
        }
        const qsizetype end = m_buffer.indexOf('\n');
        if (end > kMaxLineBytes || (end < 0 && m_buffer.size() > kMaxLineBytes)) {
            m_broken = true;
            m_buffer.clear();
            break;
        }
        if (end < 0)
            break;
        const QByteArray line = m_buffer.first(end).trimmed();
        m_buffer.remove(0, end + 1);
        if (line.startsWith(kOpenPrefix)) {
            bool ok = false;
            const qlonglong size = line.mid(kOpenPrefix.size()).toLongLong(&ok);
            if (!ok || size < 0 || size > kMaxOpenBytes) {
                m_broken = true;
                m_buffer.clear();
                break;
            }
            m_openBytes = static_cast<qsizetype>(size);
        } else {
            messages.push_back({line, {}});
        }
    }
    return messages;
}

} // namespace quaylet
