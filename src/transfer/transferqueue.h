#pragma once

// What the transfer thread needs of the upload queue: the head row, replacing
// its path, and removing a row by its id (renaming a renamed file back).

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

struct QueueHead {
    uint64_t id = 0;
    std::string path; // column 0
    int type = 1;     // 1 image, 2 video
};

class ITransferQueue {
public:
    virtual ~ITransferQueue() = default;
    virtual std::optional<QueueHead> head() const = 0;
    // Replaces the row's path with an upright copy of its file, which the
    // queue owns from then on. False when the row is gone (a cancel removed
    // it): the copy is then deleted at once.
    virtual bool setPath(uint64_t id, const std::string& path) = 0;
    // A row that is already gone (a cancel removed it) is left alone.
    virtual void remove(uint64_t id) = 0;
};

} // namespace quaylet
