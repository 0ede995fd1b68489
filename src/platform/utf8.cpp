#include "platform/utf8.h"

namespace quaylet::platform {

namespace {

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length a lead byte announces, 0 for a byte that cannot lead.
std::size_t announcedLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& out)
{
    if (at >= text.size())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = announcedLength(lead);
    if (length == 0 || text.size() - at < length)
        return 0;
    if (length == 1) {
        out = lead;
        return 1;
    }
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    out = value;
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    char32_t ignored = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = DecodeUtf8(text, at, ignored);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::size_t Utf8CompletePrefix(std::string_view text)
{
    // Walk back over at most three continuation bytes to the lead byte of the
    // last sequence and keep it only when all its bytes are present.
    std::size_t start = text.size();
    std::size_t continuation = 0;
    while (start > 0 && continuation < 4 && isContinuation(static_cast<unsigned char>(text[start - 1]))) {
        --start;
        ++continuation;
    }
    if (start == 0)
        return text.size();
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead < 0x80 || continuation + 1 >= need)
        return text.size();
    return start - 1;
}

std::size_t Utf8CharacterCount(std::string_view text)
{
    std::size_t n = 0;
    for (const char c : text)
        n += isContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
    return n;
}

} // namespace quaylet::platform
