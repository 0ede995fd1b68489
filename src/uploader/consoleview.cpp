#include "uploader/consoleview.h"

#include "uploader/terminaltext.h"

#include <algorithm>

namespace quaylet {

std::string OutcomeInWords(int result)
{
    switch (result) {
    case 1:
        return "uploaded";
    case -3:
        return "not uploaded: the service already holds this file";
    case -5:
        return "not uploaded: the service asks for a premium account";
    case -6:
        return "not uploaded: the account's photo limit is reached";
    case -7:
        return "not uploaded: the account's video limit is reached";
    case -8:
        return "not uploaded: it could not be sent (network or file error)";
    case 0:
        return "cancelled";
    default:
        return "not uploaded: the service refused it or its reply was not understood";
    }
}

ConsoleView::ConsoleView(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}

std::string ConsoleView::shownPath(const std::string& queuedPath) const
{
    return TerminalText(m_userPathOf ? m_userPathOf(queuedPath) : queuedPath);
}

void ConsoleView::printLocked(const std::string& line)
{
    if (m_lineOpen) {
        std::fputs("\r\033[K", m_out);
        m_lineOpen = false;
        m_drawn.clear();
    }
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void ConsoleView::drawLocked()
{
    if (!m_terminal || m_file.empty())
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
    std::fprintf(m_out, "\r\033[K%s", line);
    std::fflush(m_out);
    m_lineOpen = true;
}

void ConsoleView::showState(TransferState state, const std::string& statusText)
{
    std::lock_guard lock(m_mutex);
    const bool changed = state != m_state;
    m_state = state;
    m_status = statusText;
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
    m_file = shownPath(row.queuedPath);
    m_shownPaths[row.id] = m_file;
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

void ConsoleView::fileFinished(const QueueRow& row, int result)
{
    std::lock_guard lock(m_mutex);
    const auto shown = m_shownPaths.find(row.id);
    std::string path = shown != m_shownPaths.end() ? shown->second : shownPath(row.queuedPath);
    if (shown != m_shownPaths.end())
        m_shownPaths.erase(shown);
    printLocked(path + ": " + OutcomeInWords(result));
    m_outcomes.push_back({std::move(path), result});
    m_file.clear();
}

std::vector<FileOutcome> ConsoleView::outcomes() const
{
    std::lock_guard lock(m_mutex);
    return m_outcomes;
}

void ConsoleView::finishLine()
{
    std::lock_guard lock(m_mutex);
    if (m_lineOpen) {
        std::fputc('\n', m_out);
        m_lineOpen = false;
        m_drawn.clear();
        std::fflush(m_out);
    }
}

} // namespace quaylet
