#pragma once

// The uploader's drawing: each file's states and percentages, as one redrawn
// progress line on a terminal or as plain lines otherwise, and the outcome of
// every file as it finishes.
//
// Threads: called on the transfer thread (through the engine's reactions,
// which hold the engine's lock) and once at the end on the main thread.

#include "engine/transferview.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet {

// The outcome of a file in words, e.g. "already on the service".
std::string OutcomeInWords(int result);

struct FileOutcome {
    std::string path;
    int result = 0;
};

class ConsoleView final : public ITransferView {
public:
    ConsoleView(std::FILE* out, bool terminal);

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

    std::FILE* m_out;
    bool m_terminal;
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
};

} // namespace quaylet
