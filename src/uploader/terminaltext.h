#pragma once

// Text about to reach the user's terminal: file names and service texts can
// hold any bytes, and an ESC, a CR or a line feed in them would move the
// cursor, repaint the screen or forge output lines.

#include <string>
#include <string_view>

namespace quaylet {

// The text with every control character (C0, DEL and the C1 range) and every
// byte that is not part of valid UTF-8 written as \xNN, one escape per byte;
// everything else is kept.
std::string TerminalText(std::string_view text);

} // namespace quaylet
