#pragma once

// UTF-8 as the client meets it: paths, wire fields and settings are byte
// strings that are usually, but not always, UTF-8. Strict decoding: overlong
// forms, surrogates, values beyond U+10FFFF and cut-short sequences are not
// text.

#include <cstddef>
#include <string_view>

namespace quaylet::platform {

// Decodes the sequence that starts at text[at] into `out`; returns its length
// in bytes, or 0 when no valid sequence starts there.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& out);

bool IsValidUtf8(std::string_view text);

// The length of the longest prefix of a cut-off text that does not end
// inside a character, so that a byte limit never splits one.
std::size_t Utf8CompletePrefix(std::string_view text);

// Characters of UTF-8 text: each byte that does not continue a sequence.
std::size_t Utf8CharacterCount(std::string_view text);

} // namespace quaylet::platform
