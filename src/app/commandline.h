#pragma once

// The client's command line. Only the first argument may be a switch; it is
// compared without regard to letter case, and "/s" and "/q" have Linux
// spellings beside them. Every other argument names a file or folder to queue,
// as the file manager's "Open With" passes them.

#include <string>
#include <vector>

namespace quaylet {

struct ClientCommandLine {
    bool show = true;     // "/s", "-s", "--hidden" clear it
    bool replace = false; // "/q", "-q", "--replace" set it
    bool help = false;    // "--help", "-h"
    bool version = false; // "--version"
    // Absolute, the bytes of each kept as given: a name need not be UTF-8.
    std::vector<std::string> paths;
    // The first argument that looks like a switch but is none (a usage error).
    std::string unknownOption;
};

// arguments: those after the program name, as the process received them.
// Relative paths are made absolute against currentDir.
ClientCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& currentDir);

std::string ClientUsage(const std::string& program);

// What a usage error prints: the option, and where the usage is.
std::string UnknownOptionText(const std::string& program, const std::string& option);

} // namespace quaylet
