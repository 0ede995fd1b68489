#pragma once

// Absolute paths by plain joining: the bytes of a path are kept as given (no
// "." or ".." folding, no links resolved), and a path of any length is kept whole.

#include <cerrno>
#include <string>
#include <unistd.h>

namespace quaylet::platform {

// The current directory, empty when it cannot be read (it was removed, or a
// folder above it cannot be searched).
inline std::string CurrentDirectory()
{
    std::string dir(4096, '\0');
    while (!::getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE)
            return {};
        dir.resize(dir.size() * 2);
    }
    dir.resize(dir.find('\0'));
    return dir;
}

// path itself when it is absolute or base is empty, else base + "/" + path.
inline std::string AbsolutePath(const std::string& path, const std::string& base)
{
    if ((!path.empty() && path.front() == '/') || base.empty())
        return path;
    return base + (base.back() == '/' ? "" : "/") + path;
}

inline std::string AbsolutePath(const std::string& path)
{
    return AbsolutePath(path, path.starts_with('/') ? std::string() : CurrentDirectory());
}

} // namespace quaylet::platform
