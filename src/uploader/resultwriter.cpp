#include "uploader/resultwriter.h"

#include "uploader/outcomejson.h"
#include "uploader/terminaltext.h"

#include <cerrno>

namespace quaylet {

namespace {

bool queued(const FileOutcome& outcome)
{
    return outcome.rowId != 0;
}

bool notUploaded(const FileOutcome& outcome)
{
    return outcome.kind != OutcomeKind::Uploaded && outcome.kind != OutcomeKind::Skipped;
}

std::string filesText(int count)
{
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

} // namespace

ResultWriter::ResultWriter(std::FILE* out, ResultForm form) : m_out(out), m_form(form) {}

bool ResultWriter::putLocked(const std::string& text)
{
    if (m_error != 0)
        return false;
    errno = 0;
    const bool written = std::fputs(text.c_str(), m_out) >= 0 && std::fflush(m_out) == 0;
    if (written)
        return true;
    m_error = errno != 0 ? errno : EIO;
    m_failed.set();
    return false;
}

bool ResultWriter::write(const FileOutcome& outcome)
{
    std::lock_guard lock(m_mutex);
    switch (m_form) {
    case ResultForm::Lines:
        return putLocked(TerminalText(outcome.path) + ": " + OutcomeInWords(outcome) + "\n");
    case ResultForm::Json:
        return putLocked(OutcomeJsonLine(outcome) + "\n");
    case ResultForm::None:
        break;
    }
    return m_error == 0;
}

bool ResultWriter::writeText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    return putLocked(text);
}

bool ResultWriter::failed() const
{
    std::lock_guard lock(m_mutex);
    return m_error != 0;
}

int ResultWriter::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

std::string RunSummary(const std::vector<FileOutcome>& outcomes)
{
    int total = 0;
    int uploaded = 0;
    int skipped = 0;
    std::string list;
    for (const FileOutcome& outcome : outcomes) {
        // A path never searched (the run ended first) is listed, not counted.
        if (notUploaded(outcome))
            list += "  " + TerminalText(outcome.path) + ": " + OutcomeInWords(outcome) + "\n";
        if (!queued(outcome))
            continue;
        ++total;
        if (outcome.kind == OutcomeKind::Uploaded)
            ++uploaded;
        else if (outcome.kind == OutcomeKind::Skipped)
            ++skipped;
    }
    std::string text = "\n" + std::to_string(uploaded) + " of " + filesText(total) + " uploaded";
    if (skipped > 0)
        text += ", " + std::to_string(skipped) + " skipped";
    return text + "\n" + list;
}

std::string NotUploadedLines(const std::vector<FileOutcome>& outcomes, const std::string& program)
{
    std::string lines;
    for (const FileOutcome& outcome : outcomes) {
        if (notUploaded(outcome))
            lines += program + ": " + TerminalText(outcome.path) + ": " + OutcomeInWords(outcome) + "\n";
    }
    return lines;
}

bool EveryFileUploadedOrSkipped(const std::vector<FileOutcome>& outcomes)
{
    for (const FileOutcome& outcome : outcomes) {
        if (notUploaded(outcome))
            return false;
    }
    return true;
}

} // namespace quaylet
