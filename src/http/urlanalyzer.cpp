#include "http/urlanalyzer.h"

#include "http/encoders.h"
#include "http/errors.h"
#include "http/safeint.h"

namespace Velto {

void CHttpUrlAnalyzerT::Analyze(std::string_view url, unsigned codePage)
{
    if (IsUtfCodePage(codePage))
        ThrowCodePageArgument("CHttpUrlAnalyzerT::Analyze");
    const uint32_t size = SafeNarrow(url.size());
    m_scheme = m_host = m_port = m_path = m_extra = m_fragment = Range();
    if (size == 0)
        return;
    const auto range = [](std::size_t begin, std::size_t end) {
        return Range{static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin)};
    };
    const auto findFirst = [&](std::size_t from, std::string_view set) {
        const std::size_t at = url.find_first_of(set, from);
        return at == std::string_view::npos ? url.size() : at;
    };

    std::size_t hostBegin = 0;
    if (const std::size_t mark = url.find("://"); mark != std::string_view::npos) {
        m_scheme = range(0, mark);
        hostBegin = mark + 3;
    }
    const std::size_t hostEnd = findFirst(hostBegin, "/?#");
    // An IPv6 literal ("[::1]") holds colons of its own: the port separator
    // is the first ':' after its closing bracket.
    std::size_t nameEnd = hostBegin;
    if (hostBegin < hostEnd && url[hostBegin] == '[') {
        const std::size_t close = url.substr(0, hostEnd).find(']', hostBegin);
        nameEnd = close == std::string_view::npos ? hostEnd : close + 1;
    }
    const std::size_t colon = url.substr(0, hostEnd).find(':', nameEnd);
    if (colon != std::string_view::npos) {
        m_host = range(hostBegin, colon);
        m_port = range(colon + 1, hostEnd);
    } else {
        m_host = range(hostBegin, hostEnd);
        m_port = range(hostEnd, hostEnd);
    }
    const std::size_t pathEnd = findFirst(hostEnd, "?#");
    m_path = range(hostEnd, pathEnd);
    const bool hasExtra = pathEnd < url.size() && url[pathEnd] == '?';
    const std::size_t extraEnd = hasExtra ? findFirst(pathEnd, "#") : pathEnd;
    m_extra = range(pathEnd, extraEnd);
    m_fragment = range(extraEnd, url.size());
}

} // namespace Velto
