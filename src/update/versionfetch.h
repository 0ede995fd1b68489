#pragma once

// Fetching the version file: the first bytes of an http or https address,
// always from the server itself, following the server's redirects.

#include <cstddef>
#include <string>

namespace quaylet {

enum class VersionFetch {
    NotOpened, // no reply: a bad address, no connection, a refused redirect
    ReadFailed, // a reply whose body broke off
    Read,
};

// One read of at most readSize bytes: filled until it is full or the reply
// has ended, however the bytes arrive; whatever follows is never read. The
// reply's status is not looked at. Blocks; the calling thread's internet
// abort check ends it early.
VersionFetch FetchVersionFile(const std::string& address, const std::string& agent, std::size_t readSize,
                              std::string& text);

// Redirects followed before the address counts as unusable.
inline constexpr int kMaxVersionRedirects = 10;

} // namespace quaylet
