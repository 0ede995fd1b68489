#include "platform/internet.h"

#include "platform/hexdigit.h"

namespace quaylet::platform {

std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int hi = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        if (text[i] == '%' && hi >= 0 && lo >= 0) {
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string PercentEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

} // namespace quaylet::platform
