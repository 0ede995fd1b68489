#pragma once

// Comparing and trimming protocol texts (schemes, header names, file
// extensions, reply fields), where case and surrounding blanks carry no
// meaning. ASCII only: bytes above 0x7F compare as they are, whatever the
// locale.

#include <algorithm>
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

} // namespace quaylet::platform
