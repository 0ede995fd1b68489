#include "dropintake/tempname.h"

#include "dropintake/pathtext.h"
#include "platform/abspath.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace quaylet {

std::string MakeTempName(const std::string& path)
{
    const std::string full = platform::AbsolutePath(path);
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
