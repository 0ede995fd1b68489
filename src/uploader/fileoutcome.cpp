#include "uploader/fileoutcome.h"

#include "queuestore/resultreason.h"

namespace quaylet {

OutcomeKind KindOfResult(int result)
{
    switch (result) {
    case 1:
        return OutcomeKind::Uploaded;
    case -3:
        // As an unchanged file in a copy: nothing to do, not a failure.
        return OutcomeKind::Skipped;
    case 0:
        return OutcomeKind::Cancelled;
    default:
        return OutcomeKind::Failed;
    }
}

const char* OutcomeKindName(OutcomeKind kind)
{
    switch (kind) {
    case OutcomeKind::Uploaded:
        return "uploaded";
    case OutcomeKind::Skipped:
        return "skipped";
    case OutcomeKind::Failed:
        return "failed";
    case OutcomeKind::Cancelled:
        return "cancelled";
    case OutcomeKind::NotStarted:
        return "not-started";
    }
    return "failed";
}

std::string OutcomeReason(const FileOutcome& outcome)
{
    if (!outcome.reason.empty())
        return outcome.reason;
    if (!outcome.result)
        return "not started";
    return ResultReason(*outcome.result);
}

std::string OutcomeInWords(const FileOutcome& outcome)
{
    switch (outcome.kind) {
    case OutcomeKind::Uploaded:
        return "uploaded";
    case OutcomeKind::Skipped:
        return "skipped: " + OutcomeReason(outcome);
    default:
        return "not uploaded: " + OutcomeReason(outcome);
    }
}

} // namespace quaylet
