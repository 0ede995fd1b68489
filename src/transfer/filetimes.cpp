#include "transfer/filetimes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace quaylet {

std::optional<FileTimes> ReadFileTimes(const std::string& path)
{
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME | STATX_SIZE, &st) != 0)
        return std::nullopt;
    FileTimes times;
    times.modified = st.stx_mtime.tv_sec;
    times.created = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : times.modified;
    times.size = st.stx_size;
    return times;
}

} // namespace quaylet
