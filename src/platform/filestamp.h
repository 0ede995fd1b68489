#pragma once

// A file as it stands on disk: which file it is (device and inode) and when
// it was last written and changed. Work made from a file and kept for later
// (pixels decoded beside a turn, a photo prepared ahead of its turn) belongs
// to exactly this state of it: another file under the same name, a rewrite
// that keeps the size and puts the modification time back, or a change of
// mode or owner each give another stamp.

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <ctime>

namespace quaylet::platform {

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileStamp& other) const;
};

// The stamp of a regular file; nothing when there is none.
std::optional<FileStamp> StampOf(const std::string& path);

} // namespace quaylet::platform
