#include "uploader/terminaltext.h"

#include "platform/utf8.h"

namespace quaylet {

namespace {

void appendEscaped(std::string& out, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0x0F];
    }
}

} // namespace

std::string TerminalText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        char32_t ignored = 0;
        const std::size_t length = platform::DecodeUtf8(text, 0, ignored);
        const std::string_view piece = text.substr(0, length == 0 ? 1 : length);
        const auto lead = static_cast<unsigned char>(piece.front());
        // C1 controls are U+0080 to U+009F: C2 80 to C2 9F in UTF-8.
        const bool control = lead < 0x20 || lead == 0x7F ||
                             (length == 2 && lead == 0xC2 && static_cast<unsigned char>(piece[1]) < 0xA0);
        if (length == 0 || control)
            appendEscaped(out, piece);
        else
            out += piece;
        text.remove_prefix(piece.size());
    }
    return out;
}

} // namespace quaylet
