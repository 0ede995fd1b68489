#pragma once

// Splits a URL into scheme, host, port, path, extra information ("?...") and
// fragment ("#..."), as offsets and lengths into the text. The URL may lack a
// scheme ("apihost/V1.0/x?method=x"); then there is none and the host starts
// at the beginning. An IPv6 host keeps its brackets ("[::1]").

#include <cstdint>
#include <string_view>

namespace Velto {

class CHttpUrlAnalyzerT {
public:
    struct Range {
        uint32_t offset = 0;
        uint32_t length = 0;
        std::string_view in(std::string_view url) const { return url.substr(offset, length); }
        bool empty() const { return length == 0; }
    };

    CHttpUrlAnalyzerT() = default;
    virtual ~CHttpUrlAnalyzerT() = default;

    // Code pages CP_UTF8 and CP_UTF7 are refused (narrow texts are UTF-8
    // already; no byte of a multi-byte sequence is a delimiter).
    void Analyze(std::string_view url, unsigned codePage = 0);

    const Range& Scheme() const { return m_scheme; }
    const Range& Host() const { return m_host; }
    const Range& Port() const { return m_port; }
    const Range& Path() const { return m_path; }
    const Range& ExtraInfo() const { return m_extra; }
    const Range& Fragment() const { return m_fragment; }

private:
    Range m_scheme, m_host, m_port, m_path, m_extra, m_fragment;
};

} // namespace Velto
