#pragma once

// The uploader's use of the queue store: --resume and --retry-failed queue
// kept rows again before the paths of the command line, and --history lists
// them.

#include "engine/transferengine.h"
#include "queuestore/queuejournal.h"
#include "uploader/uploadoptions.h"

#include <cstdio>
#include <string>
#include <vector>

namespace quaylet {

// Queues the rows that --resume and --retry-failed ask for, with a line to
// out for each kind; the number of files queued.
int QueueKeptRows(const UploadOptions& options, TransferEngine& engine, QueueJournal& journal, std::FILE* out);

// The rows as --history prints them: one line each, or a JSON array.
std::string HistoryText(const std::vector<StoredRow>& rows, bool json);

} // namespace quaylet
