#pragma once

// Small text helpers for the service's replies and pages.

#include <string>
#include <string_view>

namespace quaylet::devserver {

// Escapes & < > " for XML and HTML text.
std::string Escape(std::string_view text);

// The XML declaration every reply starts with.
inline constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// Lower-case hexadecimal SHA-1 of the bytes.
std::string Sha1Hex(std::string_view bytes);

} // namespace quaylet::devserver
