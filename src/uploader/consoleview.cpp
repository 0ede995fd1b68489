#include "uploader/consoleview.h"

#include "uploader/terminaltext.h"

#include <algorithm>
#include <utility>

#include <unistd.h>

namespace quaylet {

ConsoleView::ConsoleView(std::FILE* err, bool terminal, bool progress)
    : m_err(err), m_terminal(terminal), m_showProgress(progress)
{
}

std::string ConsoleView::userPath(const std::string& queuedPath) const
{
    return m_userPathOf ? m_userPathOf(queuedPath) : queuedPath;
}

void ConsoleView::endLineLocked()
{
    if (!m_lineOpen)
        return;
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_lineOpen = false;
    m_drawn.clear();
}

void ConsoleView::printLocked(const std::string& line, bool alsoQuiet)
{
    if (!m_showProgress && !alsoQuiet)
        return;
    if (m_holding) {
        m_held.emplace_back(line, std::nullopt);
        return;
    }
    endLineLocked();
    std::fputs(line.c_str(), m_err);
    std::fputc('\n', m_err);
    std::fflush(m_err);
}

void ConsoleView::deliverLocked(const FileOutcome& outcome)
{
    if (m_holding) {
        m_held.emplace_back(std::string(), outcome);
        return;
    }
    endLineLocked();
    if (m_echoOutcomes)
        printLocked(TerminalText(outcome.path) + ": " + OutcomeInWords(outcome));
    if (m_sink)
        m_sink(outcome);
}

void ConsoleView::drawLocked()
{
    if (!m_terminal || !m_showProgress || m_holding || m_file.empty())
        return;
    constexpr int kWidth = 24;
    const int percent = std::clamp(m_progress, 0, 100);
    const int filled = percent * kWidth / 100;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "]";
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    std::string name = m_file;
    if (name.size() > 40) {
        // Cut at the start of a character, never inside one.
        std::size_t start = name.size() - 37;
        while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80)
            ++start;
        name = "..." + name.substr(start);
    }
    char line[512];
    std::snprintf(line, sizeof line, "%s %s %-12s%s  %s", bar.c_str(), pct, m_status.c_str(), m_count.c_str(),
                  name.c_str());
    // The engine reports every piece of an upload; redraw only what changed.
    if (m_lineOpen && m_drawn == line)
        return;
    m_drawn = line;
    std::fprintf(m_err, "\r\033[K%s", line);
    std::fflush(m_err);
    m_lineOpen = true;
}

void ConsoleView::showState(TransferState state, const std::string& statusText)
{
    std::lock_guard lock(m_mutex);
    const bool changed = state != m_state;
    m_state = state;
    m_status = statusText;
    if (changed && state == kStatePaused && !m_pauseShown) {
        // The signal was caught, so the process was not stopped and a shell
        // that ran it in the foreground still waits for it.
        m_pauseShown = true;
        printLocked("Paused; the next file waits for SIGCONT: kill -CONT " + std::to_string(::getpid()) +
                        " (or fg or bg for a job in the background)",
                    true);
        return;
    }
    if (m_file.empty()) {
        // The connection is checked before the next file is named; a wait for
        // the service that printed nothing would look like a hang.
        if (changed && state == kStateTrying)
            printLocked(statusText + " the service cannot be reached; checking again every second");
        return;
    }
    if (m_terminal) {
        drawLocked();
    } else if (changed && state != kStateReady) {
        printLocked(m_file + ": " + statusText);
        m_lastPrintedQuarter = -1;
    }
}

void ConsoleView::showCount(const std::string& countText)
{
    std::lock_guard lock(m_mutex);
    m_count = countText;
}

void ConsoleView::showNextFile(const QueueRow& row)
{
    std::lock_guard lock(m_mutex);
    const auto [started, added] = m_started.try_emplace(row.id, Started{userPath(row.queuedPath), Clock::now(), 0});
    m_file = TerminalText(started->second.path);
    m_currentRow = row.id;
    m_progress = 0;
    m_lastPrintedQuarter = -1;
}

void ConsoleView::showQueueReset()
{
    std::lock_guard lock(m_mutex);
    m_progress = -1;
}

void ConsoleView::showProgress(int position)
{
    std::lock_guard lock(m_mutex);
    m_progress = position;
    if (m_file.empty())
        return;
    if (m_terminal) {
        drawLocked();
        return;
    }
    // Plain output: a line per quarter, not one per piece.
    const int quarter = std::clamp(position, 0, 100) / 25;
    if (quarter > m_lastPrintedQuarter) {
        m_lastPrintedQuarter = quarter;
        printLocked(m_file + ": " + std::to_string(quarter * 25) + "%");
    }
}

void ConsoleView::showProgressMaximum(int) {}

void ConsoleView::showStatusText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    // "Uploading: 45%" carries its own percentage; the bar shows it already.
    const auto colon = text.find(':');
    m_status = colon == std::string::npos ? text : text.substr(0, colon);
    drawLocked();
}

void ConsoleView::showBalloon(const Balloon&) {}

void ConsoleView::openUpgradePage(int) {}

void ConsoleView::announceQueued(int count)
{
    std::lock_guard lock(m_mutex);
    if (!m_holding)
        return;
    m_holding = false;
    printLocked(std::to_string(count) + (count == 1 ? " file" : " files") + " queued");
    auto held = std::move(m_held);
    m_held.clear();
    for (const auto& [line, outcome] : held) {
        if (outcome)
            deliverLocked(*outcome);
        else
            printLocked(line);
    }
    drawLocked();
}

void ConsoleView::showBytesSent(uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (const auto started = m_started.find(m_currentRow); started != m_started.end())
        started->second.bytesSent = bytes;
}

bool ConsoleView::takeStartedLocked(uint64_t rowId, FileOutcome& outcome)
{
    const auto started = m_started.find(rowId);
    if (started == m_started.end())
        return false;
    outcome.path = started->second.path;
    outcome.bytesSent = started->second.bytesSent;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - started->second.since).count();
    m_started.erase(started);
    return true;
}

void ConsoleView::fileFinished(const QueueRow& row, int result)
{
    std::lock_guard lock(m_mutex);
    FileOutcome outcome;
    outcome.kind = KindOfResult(result);
    outcome.rowId = row.id;
    outcome.result = result;
    if (!takeStartedLocked(row.id, outcome))
        outcome.path = userPath(row.queuedPath);
    m_outcomes.push_back(outcome);
    deliverLocked(outcome);
    m_file.clear();
}

void ConsoleView::fileLeft(const QueueRow& row)
{
    std::lock_guard lock(m_mutex);
    FileOutcome outcome;
    outcome.rowId = row.id;
    if (takeStartedLocked(row.id, outcome)) {
        // Its work had begun, but the thread stopped before it could report.
        outcome.kind = OutcomeKind::Cancelled;
        outcome.reason = "cancelled";
    } else {
        outcome.kind = OutcomeKind::NotStarted;
        outcome.path = userPath(row.queuedPath);
    }
    m_outcomes.push_back(outcome);
    deliverLocked(outcome);
}

bool ConsoleView::hasOutcome(uint64_t rowId) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_outcomes.begin(), m_outcomes.end(),
                       [rowId](const FileOutcome& outcome) { return outcome.rowId == rowId; });
}

std::vector<FileOutcome> ConsoleView::outcomes() const
{
    std::lock_guard lock(m_mutex);
    return m_outcomes;
}

void ConsoleView::note(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    printLocked(line);
}

void ConsoleView::error(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    endLineLocked();
    std::fputs(line.c_str(), m_err);
    std::fputc('\n', m_err);
    std::fflush(m_err);
}

void ConsoleView::pauseEnded()
{
    std::lock_guard lock(m_mutex);
    if (std::exchange(m_pauseShown, false))
        printLocked("Resumed", true);
}

void ConsoleView::finishLine()
{
    std::lock_guard lock(m_mutex);
    if (m_lineOpen) {
        std::fputc('\n', m_err);
        m_lineOpen = false;
        m_drawn.clear();
        std::fflush(m_err);
    }
}

} // namespace quaylet
