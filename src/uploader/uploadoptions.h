#pragma once

// Command line of the headless uploader:
//   quaylet-upload [--user NAME] [--] PATH...
//   quaylet-upload [--user NAME] --sign-in-only
//   quaylet-upload [--user NAME] [--resume] [--retry-failed] [--] [PATH...]
//   quaylet-upload [--user NAME] --history [--json]
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
    bool resume = false;      // queue again what earlier runs left unfinished
    bool retryFailed = false; // queue again what failed
    bool history = false;     // list the kept rows, upload nothing
    bool json = false;        // the history as JSON
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
