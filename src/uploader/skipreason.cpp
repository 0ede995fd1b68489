#include "uploader/skipreason.h"

#include "dropintake/filedroplistctrl.h"
#include "dropintake/pathtext.h"

#include <algorithm>
#include <sys/stat.h>

namespace quaylet {

std::string SkipReason(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ::lstat(path.c_str(), &st) == 0 ? "a link to nothing" : "no such file or folder";
    if (S_ISDIR(st.st_mode))
        return "no photos or videos in this folder";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    const std::string extension = UpperAscii(std::string(PathExtension(path)));
    if (extension == ".MSWMM")
        return "a video editor's project file, not a video";
    const auto& accepted = AcceptedExtensions();
    if (std::find(accepted.begin(), accepted.end(), extension) == accepted.end())
        return "not a photo or video (" + (extension.empty() ? std::string("no extension") : extension) + ")";
    return "already queued";
}

} // namespace quaylet
