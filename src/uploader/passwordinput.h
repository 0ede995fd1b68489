#pragma once

// Reads the password for --user: one line from standard input when it is not
// a terminal, or typed at a prompt without echo when it is.

#include <optional>
#include <string>

namespace quaylet {

// Nothing when no line could be read (end of input).
std::optional<std::string> ReadPassword(int inputFd, int promptFd, const std::string& prompt);

} // namespace quaylet
