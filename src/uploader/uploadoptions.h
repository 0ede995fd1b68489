#pragma once

// Command line of the headless uploader:
//   quaylet-upload [--user NAME] [--] PATH...
//   quaylet-upload [--user NAME] --sign-in-only
//   quaylet-upload --help
//   quaylet-upload --version

#include <optional>
#include <string>
#include <vector>

namespace quaylet {

struct UploadOptions {
    bool help = false;
    bool version = false;
    bool signInOnly = false; // sign in (storing --user's credentials), upload nothing
    std::optional<std::string> user;
    std::vector<std::string> paths; // absolute
};

struct UploadOptionsResult {
    std::optional<UploadOptions> options;
    std::string error; // set when options is empty
};

// Parses the arguments after the program name. Relative paths are made
// absolute against currentDir; the bytes of each path are kept as given.
UploadOptionsResult ParseUploadOptions(const std::vector<std::string>& arguments, const std::string& currentDir);

std::string UploadUsage(const std::string& program);

} // namespace quaylet
