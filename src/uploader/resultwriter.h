#pragma once

// Standard output of a run carries the results and nothing else: a line per
// finished file and the summary, or with --json one object per file. Every
// write is checked: output nobody can read (a full disk, a reader that went
// away) must stop the run, not let it upload on unseen.
//
// Threads: files finish on the transfer thread, the summary is written on
// the main thread; one lock orders the writes.

#include "platform/events.h"
#include "uploader/fileoutcome.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet {

enum class ResultForm {
    Lines, // "PATH: uploaded", then the summary
    Json,  // one object per file; the summary goes to standard error
    None,  // --quiet: only what went wrong, on standard error
};

class ResultWriter final {
public:
    ResultWriter(std::FILE* out, ResultForm form);

    ResultForm form() const { return m_form; }
    // One file's outcome. False once the output has failed.
    bool write(const FileOutcome& outcome);
    // Text as it is (the summary of the Lines form). False once the output has failed.
    bool writeText(const std::string& text);

    // Set at the first failed write; stays set.
    platform::Event& failure() { return m_failed; }
    bool failed() const;
    // The failed write's error (errno), 0 before.
    int error() const;

private:
    bool putLocked(const std::string& text);

    std::FILE* const m_out;
    const ResultForm m_form;
    mutable std::mutex m_mutex; // guards m_error and the writes
    int m_error = 0;
    platform::Event m_failed{platform::Event::Reset::Manual};
};

// The summary of a run: how many of the queued files were uploaded and
// skipped, then each file that was not uploaded with its reason. Paths that
// queued nothing are not counted: they were reported as they were searched,
// or, when the run ended before they were searched, listed as not started.
std::string RunSummary(const std::vector<FileOutcome>& outcomes);

// Each file that was not uploaded as an error line
// ("quaylet-upload: PATH: not uploaded: REASON"), for --quiet.
std::string NotUploadedLines(const std::vector<FileOutcome>& outcomes, const std::string& program);

// Whether the run counts as a success: no file failed, was cancelled or was left
// unstarted.
bool EveryFileUploadedOrSkipped(const std::vector<FileOutcome>& outcomes);

} // namespace quaylet
