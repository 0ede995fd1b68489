#pragma once

// The uploader's drawing: each file's states and percentages, as one redrawn
// progress line on a terminal or as plain lines otherwise, and the outcome of
// every file as it finishes.
//
// File names are shown as the user named them (not under a temporary name
// the intake gave them) and made safe for a terminal.
//
// Threads: called on the transfer thread (through the engine's reactions,
// which hold the engine's lock) and once at the end on the main thread.

#include "engine/transferview.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet {

// The outcome of a file in words, e.g. "already on the service".
std::string OutcomeInWords(int result);

struct FileOutcome {
    std::string path; // as shown: the user's name for it, escaped
    int result = 0;
};

// The name the user gave a queued path.
using UserPathOf = std::function<std::string(const std::string& queuedPath)>;

class ConsoleView final : public ITransferView {
public:
    ConsoleView(std::FILE* out, bool terminal);

    // Set before the engine starts; without it queued paths are shown as they are.
    void setUserPaths(UserPathOf userPathOf) { m_userPathOf = std::move(userPathOf); }

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

    // A file has finished; prints its outcome and keeps it for the summary.
    void fileFinished(const QueueRow& row, int result);
    std::vector<FileOutcome> outcomes() const;
    // Ends a progress line that is still open.
    void finishLine();

private:
    void drawLocked();
    void printLocked(const std::string& line);
    std::string shownPath(const std::string& queuedPath) const;

    std::FILE* m_out;
    bool m_terminal;
    UserPathOf m_userPathOf; // set before the threads start
    mutable std::mutex m_mutex; // guards everything below
    std::string m_file;
    std::string m_count;
    std::string m_status;
    TransferState m_state = kStateReady;
    int m_progress = -1;
    int m_lastPrintedQuarter = -1;
    bool m_lineOpen = false;
    std::string m_drawn; // the progress line on screen
    std::vector<FileOutcome> m_outcomes;
    // The shown path of each row since its next-row report: by the time a
    // file's outcome arrives its temporary name is gone from the intake.
    std::map<uint64_t, std::string> m_shownPaths;
};

} // namespace quaylet
