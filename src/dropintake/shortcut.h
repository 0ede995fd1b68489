#pragma once

// Shortcuts on Linux: symbolic links, and desktop entries of Type=Link whose
// URL is a local file URI.

#include <string>

namespace quaylet {

// The target of the shortcut at path, or empty when path is not a shortcut
// (or the shortcut cannot be read). A symbolic link gives its fully resolved
// target (empty when the link dangles or loops); a desktop link gives its
// local URL as it is written, not resolved further.
std::string ExpandShortcut(const std::string& path);

// The local target of a desktop entry's text, or empty when the text is not a
// desktop entry of Type=Link with a local file URL.
std::string DesktopLinkTarget(const std::string& text);

} // namespace quaylet
