#pragma once

// The times a file system records for a file, in seconds since 1970.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

struct FileTimes {
    int64_t created = 0;  // birth time where the file system records it, else the modification time
    int64_t modified = 0;
    uint64_t size = 0;
};

// Nothing when the file cannot be found.
std::optional<FileTimes> ReadFileTimes(const std::string& path);

} // namespace quaylet
