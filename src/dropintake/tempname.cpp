#include "dropintake/tempname.h"

#include "dropintake/pathtext.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet {

namespace {
std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    std::string cwd(256, '\0');
    while (!::getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            return path;
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    return cwd + (cwd.ends_with('/') ? "" : "/") + path;
}
} // namespace

std::string MakeTempName(const std::string& path)
{
    const std::string full = absolutePath(path);
    const std::string directory = full.substr(0, full.rfind('/') + 1);
    const std::string extension(PathExtension(full));
    for (unsigned long n = 1;; ++n) {
        std::string candidate = directory + "TempFile_" + std::to_string(n) + extension;
        struct stat st {};
        // lstat: a dangling link also occupies the name. Any failure means the
        // name is free or the folder cannot be reached; in the latter case the
        // rename itself fails.
        if (::lstat(candidate.c_str(), &st) != 0)
            return candidate;
    }
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace quaylet
