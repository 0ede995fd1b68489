#pragma once

// What the transfer thread needs of the upload queue: the head row and the
// one after it, replacing
// its path, removing a row by its id (renaming a renamed file back), and
// whether a Cancel has taken a row.

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
    // The row queued right after the given one; nothing when it is the last
    // or gone.
    virtual std::optional<QueueHead> after(uint64_t id) const = 0;
    // Replaces the row's path with an upright copy of its file, which the
    // queue owns from then on. False when the row is gone (a cancel removed
    // it): the copy is then deleted at once.
    virtual bool setPath(uint64_t id, const std::string& path) = 0;
    // A row that is already gone (a cancel removed it) is left alone.
    virtual void remove(uint64_t id) = 0;
    // True when a Cancel has taken the row: it is gone, or it was queued
    // before the last Cancel, whose removal of the rows may still be coming.
    virtual bool isCancelled(uint64_t id) const = 0;

    // Milestones of a row for the queue's lasting record (queuejournal.h);
    // a queue that keeps none ignores them. They may wait until the record
    // is written, so they are called without any lock held.
    virtual void markStarted(uint64_t /*id*/) {}
    virtual void markUploading(uint64_t /*id*/, const std::string& /*sentPath*/) {}
    // Called before the row is removed after its upload.
    virtual void markFinished(uint64_t /*id*/, int /*result*/) {}
};

} // namespace quaylet
