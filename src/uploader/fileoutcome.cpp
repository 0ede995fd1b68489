#include "uploader/fileoutcome.h"

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
    switch (*outcome.result) {
    case 1:
        return {};
    case -3:
        return "the service already holds this file";
    case -5:
        return "the service asks for a premium account";
    case -6:
        return "the account's photo limit is reached";
    case -7:
        return "the account's video limit is reached";
    case -8:
        return "it could not be sent (network or file error)";
    case 0:
        return "cancelled";
    default:
        return "the service refused it or its reply was not understood";
    }
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
