#pragma once

// Reads the password for --user: one line from standard input when it is not
// a terminal, or typed at a prompt without echo when it is.

#include <optional>
#include <string>

namespace quaylet {

// Nothing when no line could be read (end of input), or when wakeFd became
// readable first (the run was interrupted; -1: no such descriptor). A
// terminal gets its echo back however the read ends.
std::optional<std::string> ReadPassword(int inputFd, int promptFd, const std::string& prompt, int wakeFd = -1);

} // namespace quaylet
