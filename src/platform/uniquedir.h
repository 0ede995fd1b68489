#pragma once

// Owns a directory stream and closes it when it goes.

#include <dirent.h>
#include <memory>
#include <string>

namespace quaylet::platform {

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// Empty when the folder cannot be opened.
inline UniqueDir OpenDir(const std::string& path)
{
    return UniqueDir(::opendir(path.c_str()));
}

} // namespace quaylet::platform
