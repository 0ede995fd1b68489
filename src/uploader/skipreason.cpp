#include "uploader/skipreason.h"

#include "dropintake/filedroplistctrl.h"
#include "dropintake/pathtext.h"
#include "dropintake/shortcut.h"
#include "platform/utf8.h"

#include <algorithm>
#include <sys/stat.h>

namespace quaylet {

std::string SkipReason(const std::string& path, const std::string& renameFailure)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ::lstat(path.c_str(), &st) == 0 ? "a link to nothing" : "no such file or folder";
    if (!renameFailure.empty())
        return renameFailure;
    if (S_ISDIR(st.st_mode))
        return "no photos or videos in this folder";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    // A link or desktop link stands for its target.
    const std::string target = ExpandShortcut(path);
    const std::string& file = target.empty() ? path : target;
    const std::string extension = UpperAscii(std::string(PathExtension(file)));
    if (extension == ".MSWMM")
        return "a video editor's project file, not a video";
    const auto& accepted = AcceptedExtensions();
    if (std::find(accepted.begin(), accepted.end(), extension) == accepted.end())
        return "not a photo or video (" + (extension.empty() ? std::string("no extension") : extension) + ")";
    // Only a dropped name is given a temporary one, not the target of a link.
    if (!target.empty() && !platform::IsValidUtf8(target))
        return "the name of the file it leads to is not valid UTF-8";
    return "already queued";
}

} // namespace quaylet
