#pragma once

// Taking up rows of the queue store again: the files an earlier run of the
// account left unfinished (resume), or those that failed (retry failed), are
// queued once more the way a drop queues them, in their order, before
// anything new. Shared by the client's window and the headless uploader.
//
// Threads: on the front end's queueing thread, like a drop.

#include "engine/transferengine.h"
#include "queuestore/queuejournal.h"

#include <string>
#include <vector>

namespace quaylet {

// The account rows are kept for, so that a file queued for one account is
// never sent to another: the user name, which names the account on the
// service (a development service on another port is the same service).
std::string QueueAccountOf(const std::string& userName);

// Queues the rows' files again, in order, and settles the rows that did not
// make it into the queue; the number of files queued.
int RequeueTakenRows(TransferEngine& engine, QueueJournal& journal, const std::vector<StoredRow>& rows);

// "Resuming N files from last time".
std::string ResumeNotice(int count);

// What a user is told once when the store cannot be kept.
std::string QueueStoreUnavailableNotice();

} // namespace quaylet
