#pragma once

// The uploader's drawing on standard error: each file's states and
// percentages, as one redrawn progress line on a terminal or as plain lines
// otherwise. It also keeps what became of every file (with the bytes sent
// and the time taken) and hands each outcome to the results as it comes.
//
// Until the number of queued files is announced, everything is held back:
// the first file is on its way while later paths are still searched, and
// the count must come before its first line.
//
// File names are shown as the user named them (not under a temporary name
// the intake gave them) and made safe for a terminal.
//
// Threads: called on the transfer thread (through the engine's reactions,
// which hold the engine's lock) and on the main thread.

#include "engine/transferview.h"
#include "uploader/fileoutcome.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quaylet {

// The name the user gave a queued path.
using UserPathOf = std::function<std::string(const std::string& queuedPath)>;
// Where each finished file's outcome goes (the results on standard output).
using OutcomeSink = std::function<void(const FileOutcome& outcome)>;

class ConsoleView final : public ITransferView {
public:
    // progress: false for --quiet, which keeps only errors.
    ConsoleView(std::FILE* err, bool terminal, bool progress);

    // Both set before the engine starts.
    void setUserPaths(UserPathOf userPathOf) { m_userPathOf = std::move(userPathOf); }
    void setOutcomeSink(OutcomeSink sink) { m_sink = std::move(sink); }
    // Also show each outcome in words among the progress (when the results
    // on standard output are not for people).
    void setEchoOutcomes(bool echo) { m_echoOutcomes = echo; }

    void showState(TransferState state, const std::string& statusText) override;
    void showCount(const std::string& countText) override;
    void showNextFile(const QueueRow& row) override;
    void showQueueReset() override;
    void showProgress(int position) override;
    void showProgressMaximum(int maximum) override;
    void showStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;
    void openUpgradePage(int limit) override;
    void openEmailPage() override {}
    void runUploadCompleted() override {}

    // "N files queued", then what was held back.
    void announceQueued(int count);
    // Bytes of the current file's upload request sent so far.
    void showBytesSent(uint64_t bytes);
    // A file has finished: keeps its outcome and hands it on.
    void fileFinished(const QueueRow& row, int result);
    // A queued file without an outcome when the run ended early: not
    // started, or cancelled when its work had begun. Handed on as well.
    void fileLeft(const QueueRow& row);
    bool hasOutcome(uint64_t rowId) const;
    std::vector<FileOutcome> outcomes() const;

    // A line of progress (not shown with --quiet) or an error, ending a
    // progress line that is still open.
    void note(const std::string& line);
    void error(const std::string& line);
    // Ends a progress line that is still open.
    void finishLine();
    // The pause (SIGTSTP) has ended: says so when the pause was shown. The
    // pause itself shows once the file at work has finished (the paused state).
    void pauseEnded();

private:
    using Clock = std::chrono::steady_clock;

    void drawLocked();
    // alsoQuiet: a line that --quiet keeps too (an answer to a signal the
    // user sent).
    void printLocked(const std::string& line, bool alsoQuiet = false);
    void endLineLocked();
    void deliverLocked(const FileOutcome& outcome);
    // Fills in what the row's start recorded and forgets it; false when it never started.
    bool takeStartedLocked(uint64_t rowId, FileOutcome& outcome);
    std::string userPath(const std::string& queuedPath) const;

    std::FILE* const m_err;
    const bool m_terminal;
    const bool m_showProgress;
    UserPathOf m_userPathOf; // set before the threads start
    OutcomeSink m_sink;      // set before the threads start
    bool m_echoOutcomes = false; // set before the threads start
    mutable std::mutex m_mutex; // guards everything below
    bool m_holding = true;
    // What came before the count, in order: a line, or an outcome to hand on.
    std::vector<std::pair<std::string, std::optional<FileOutcome>>> m_held;
    std::string m_file; // shown (escaped)
    std::string m_count;
    std::string m_status;
    TransferState m_state = kStateReady;
    int m_progress = -1;
    int m_lastPrintedQuarter = -1;
    bool m_pauseShown = false;
    bool m_lineOpen = false;
    std::string m_drawn; // the progress line on screen
    std::vector<FileOutcome> m_outcomes;
    // Each row since its first next-row report: its user's name (by the time
    // a file's outcome arrives its temporary name is gone from the intake),
    // when its work started, and the bytes its upload sent.
    struct Started {
        std::string path;
        Clock::time_point since;
        uint64_t bytesSent = 0;
    };
    std::map<uint64_t, Started> m_started;
    uint64_t m_currentRow = 0;
};

} // namespace quaylet
