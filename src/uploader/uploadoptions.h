#pragma once

// Command line of the headless uploader:
//   quaylet-upload [OPTION...] [--] PATH...
//   quaylet-upload [--user NAME] --sign-in-only
//   quaylet-upload [--user NAME] [--resume] [--retry-failed] [--] [PATH...]
//   quaylet-upload [--user NAME] --history [--json]
//   quaylet-upload --help
//   quaylet-upload --version
//
// Every option is one row of a table (uploadoptions.cpp) that the parser and
// the usage text both read: a new option is a new row.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

struct UploadOptions {
    bool help = false;
    bool version = false;
    bool signInOnly = false; // sign in (storing --user's credentials), upload nothing
    bool quiet = false;      // errors only on standard error
    bool json = false;       // one JSON object per file outcome on standard output; the history as JSON
    bool resume = false;      // queue again what earlier runs left unfinished
    bool retryFailed = false; // queue again what failed
    bool history = false;     // list the kept rows, upload nothing
    uint64_t limitRate = 0;   // bytes per second the files are sent at, at most; 0: no limit
    std::optional<std::string> user;
    std::vector<std::string> paths; // absolute
    // Each path as it was typed, in the order of paths: outcomes name files
    // the way the user named them.
    std::vector<std::string> givenPaths;
};

struct UploadOptionsResult {
    std::optional<UploadOptions> options;
    std::string error; // one line, set when options is empty
};

// Parses the arguments after the program name. Relative paths are made
// absolute against currentDir; the bytes of each path are kept as given.
UploadOptionsResult ParseUploadOptions(const std::vector<std::string>& arguments, const std::string& currentDir);

// A rate in bytes per second: a whole number, optionally followed by K, M or
// G (either case) for 1024, 1048576 or 1073741824 bytes per second. Nothing
// for zero, signs, blanks, fractions, other characters or a rate beyond what
// the network layer takes.
std::optional<uint64_t> ParseRateLimit(std::string_view text);

// A path found under one of the arguments, written the way that argument
// was typed ("album/b.png" for a file in the folder "album"); a path under
// none of them is returned as it is.
std::string AsGiven(const std::string& path, const UploadOptions& options);

std::string UploadUsage(const std::string& program);
// The line after a usage error that points to the full text.
std::string UsageHint(const std::string& program);

} // namespace quaylet
