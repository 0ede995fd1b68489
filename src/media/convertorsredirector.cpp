#include "media/convertorsredirector.h"

#include "core/stringtable.h"

#include <cstdio>

namespace quaylet {

CConvertorsRedirector::CConvertorsRedirector(IWindowReactions* window, int32_t positionLimit,
                                             CDelayMethodCall::Clock clock)
    : m_window(window), m_limiter(std::move(clock)),
      m_lastOutput(std::chrono::steady_clock::now().time_since_epoch().count())
{
    m_state.positionLimit = positionLimit;
    m_limiter.bind(this, CDelayMethodCall::kDefaultInterval);
}

CConvertorsRedirector::~CConvertorsRedirector()
{
    // The reader thread calls our handlers: it must be gone before our members.
    Shutdown();
}

void CConvertorsRedirector::SetStep(int32_t base, int32_t span)
{
    std::lock_guard lock(m_mutex);
    m_state.base = base;
    m_state.span = span;
}

void CConvertorsRedirector::SetPositionLimit(int32_t seconds)
{
    std::lock_guard lock(m_mutex);
    m_state.positionLimit = seconds;
}

ProgressState CConvertorsRedirector::State() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

uint32_t CConvertorsRedirector::ShownPercent() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::chrono::steady_clock::time_point CConvertorsRedirector::LastOutput() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_lastOutput.load()));
}

void CConvertorsRedirector::OnChildOutput(const char* text)
{
    m_lastOutput = std::chrono::steady_clock::now().time_since_epoch().count();
    std::optional<uint32_t> percent;
    {
        std::lock_guard lock(m_mutex);
        percent = ParseProgressChunk(m_state, text);
        if (!percent || *percent == 0)
            return;
        percent = Accept(*percent);
    }
    if (percent)
        Show(*percent, false);
}

void CConvertorsRedirector::OnRunnerError(const char* text)
{
    OnChildOutput("\r\nError message: ");
    OnChildOutput(text);
}

void CConvertorsRedirector::ShowFinished()
{
    {
        std::lock_guard lock(m_mutex);
        m_shown = 100;
    }
    Show(100, true);
}

// Called with m_mutex held: caps the percent and keeps one conversion's
// progress from moving backwards on screen (the second encoder's frame count
// and its time may disagree). Nothing when it would go back.
std::optional<uint32_t> CConvertorsRedirector::Accept(uint32_t percent)
{
    if (!m_window)
        return std::nullopt;
    if (percent > 100)
        percent = 100;
    if (percent < m_shown)
        return std::nullopt;
    m_shown = percent;
    return percent;
}

// Not under m_mutex: a window call may block, and the owner must still be able
// to move the parser on (or report a stuck reader) meanwhile.
void CConvertorsRedirector::Show(uint32_t percent, bool forceText)
{
    if (!m_window)
        return;
    std::lock_guard lock(m_showMutex);
    char text[128];
    std::snprintf(text, sizeof text, "%s: %u%%", LoadString(str::Encoding), percent);
    if (forceText || percent >= kImmediateFrom)
        m_window->setStatusText(text);
    else
        m_limiter.call(text);
    m_window->setProgressPosition(static_cast<int>(percent));
}

void CConvertorsRedirector::call(const std::string& text)
{
    if (m_window)
        m_window->setStatusText(text);
}

} // namespace quaylet
