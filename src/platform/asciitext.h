#pragma once

// Comparing and trimming protocol texts (schemes, header names, file
// extensions, reply fields), where case and surrounding blanks carry no
// meaning. ASCII only: bytes above 0x7F compare as they are, whatever the
// locale.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

namespace quaylet::platform {

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The text without the blanks and line breaks around it.
constexpr std::string_view Trim(std::string_view text)
{
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// The number at the start of the text the way the C library's atol reads it
// where a long has 32 bits: blanks, a sign, digits up to the first other
// character; beyond the range it stays at the nearest end.
constexpr int32_t LeadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - '0'), kLimit);
    if (negative)
        return static_cast<int32_t>(-magnitude);
    return static_cast<int32_t>(std::min(magnitude, kLimit - 1));
}

} // namespace quaylet::platform
