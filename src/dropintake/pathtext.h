#pragma once

// Byte-level helpers for paths: Linux paths are byte strings, and the rest of
// the client works with UTF-8 text, so the intake must know which names are
// valid UTF-8 and where a name's extension starts.

#include <string>
#include <string_view>

namespace quaylet {

// The extension of the last path component: from its last dot to the end, dot
// included; empty when that component has no dot.
std::string_view PathExtension(std::string_view path);

// The text with its ASCII letters in upper case; other bytes are kept.
std::string UpperAscii(std::string_view text);

} // namespace quaylet
