#pragma once

// What became of one file of a run, as the results report it.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

enum class OutcomeKind {
    Uploaded,   // the service stored it
    Skipped,    // the service already holds it, or the path holds nothing to upload
    Failed,     // the service refused it, or it could not be sent
    Cancelled,  // stopped while it was prepared or sent
    NotStarted, // still waiting when the run ended early
};

struct FileOutcome {
    OutcomeKind kind = OutcomeKind::NotStarted;
    uint64_t rowId = 0;        // the queue row; 0 for a path that queued nothing
    std::string path;          // the user's name for it, bytes as they are
    std::optional<int> result; // the result code of the upload; none when never sent
    uint64_t bytesSent = 0;    // of the upload request
    double seconds = 0;        // from the start of its preparation to its outcome
    std::string reason;        // why it was skipped or not started; else empty
};

// The kind of a finished file's result code (0: cancelled).
OutcomeKind KindOfResult(int result);
// "uploaded", "skipped", "failed", "cancelled", "not-started".
const char* OutcomeKindName(OutcomeKind kind);

// Why the file was not uploaded, e.g. "the service already holds this file";
// empty for an uploaded file.
std::string OutcomeReason(const FileOutcome& outcome);
// The outcome in words, e.g. "skipped: the service already holds this file".
std::string OutcomeInWords(const FileOutcome& outcome);

} // namespace quaylet
