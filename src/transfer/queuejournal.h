#pragma once

// A record of the queue that outlives the process: every row as it is queued,
// started, sent and finished, so that a later run can take up what a killed
// or crashed one left. The queue and the transfer thread report to it; what
// keeps the record (a database) lies behind this interface.
//
// Threads: queued() and removedWithoutOutcome() are called on the thread that
// queues or cancels (the window thread in the client) and must never block;
// started(), uploading() and finished() are called on the transfer thread and
// return once the change is kept, so that a row is on record before its file
// is worked on and its outcome is on record before the row goes.

#include <cstdint>
#include <string>

namespace quaylet {

class IQueueJournal {
public:
    virtual ~IQueueJournal() = default;
    // A row was added to the queue. userPath is the file's path as the user
    // named it (before any temporary rename); type 1 photo, 2 video.
    virtual void queued(uint64_t rowId, const std::string& userPath, int type) = 0;
    // The transfer thread begins preparing the row's file.
    virtual void started(uint64_t rowId) = 0;
    // The prepared file at sentPath is about to be sent.
    virtual void uploading(uint64_t rowId, const std::string& sentPath) = 0;
    // The file's outcome: an API result code (1 uploaded, -3 already held by
    // the service, other values failures).
    virtual void finished(uint64_t rowId, int result) = 0;
    // The row left the queue without an outcome. cancelledByUser: the Cancel
    // command took it; otherwise the process is quitting and the row stays
    // open for a later run.
    virtual void removedWithoutOutcome(uint64_t rowId, bool cancelledByUser) = 0;
};

} // namespace quaylet
