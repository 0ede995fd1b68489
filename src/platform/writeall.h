#pragma once

// Writes every byte to a descriptor, going on after short writes and
// interrupted calls.

#include <cerrno>
#include <cstddef>
#include <string_view>
#include <unistd.h>

namespace quaylet::platform {

inline bool WriteAll(int fd, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace quaylet::platform
