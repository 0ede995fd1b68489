#include "media/encoderprogress.h"

#include "core/stringtable.h"

#include <cstdio>

namespace quaylet {

EncoderProgress::EncoderProgress(IWindowReactions* window, int32_t positionLimit,
                                 CDelayMethodCall::Clock clock)
    : m_window(window), m_limiter(std::move(clock)),
      m_lastOutput(std::chrono::steady_clock::now().time_since_epoch().count())
{
    m_state.positionLimit = positionLimit;
    m_limiter.bind(this, CDelayMethodCall::kDefaultInterval);
}

void EncoderProgress::SetStep(int32_t base, int32_t span)
{
    std::lock_guard lock(m_mutex);
    m_state.base = base;
    m_state.span = span;
}

void EncoderProgress::SetPositionLimit(int32_t seconds)
{
    std::lock_guard lock(m_mutex);
    m_state.positionLimit = seconds;
}

ProgressState EncoderProgress::State() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

uint32_t EncoderProgress::ShownPercent() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::chrono::steady_clock::time_point EncoderProgress::LastOutput() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_lastOutput.load()));
}

// Not under m_showMutex: the call that may hold it is the one stuck in the
// window. Every window call checks the flag under that lock, so only the call
// holding it now can still reach the window.
void EncoderProgress::Disconnect()
{
    m_disconnected = true;
}

void EncoderProgress::OnChildOutput(const char* text)
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

void EncoderProgress::OnRunnerError(const char* text)
{
    OnChildOutput("\r\nError message: ");
    OnChildOutput(text);
}

void EncoderProgress::ShowFinished()
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
std::optional<uint32_t> EncoderProgress::Accept(uint32_t percent)
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

IWindowReactions* EncoderProgress::WindowLocked() const
{
    return m_disconnected ? nullptr : m_window;
}

// Not under m_mutex: a window call may block, and the owner must still be able
// to move the parser on (or report a stuck reader) meanwhile.
void EncoderProgress::Show(uint32_t percent, bool forceText)
{
    std::lock_guard lock(m_showMutex);
    if (!WindowLocked())
        return;
    char text[128];
    std::snprintf(text, sizeof text, "%s: %u%%", LoadString(str::Encoding), percent);
    if (forceText || percent >= kImmediateFrom)
        m_window->setStatusText(text);
    else
        m_limiter.call(text);
    // The text may have blocked until after the runner let go.
    if (IWindowReactions* window = WindowLocked())
        window->setProgressPosition(static_cast<int>(percent));
}

// Reached only through m_limiter, so with m_showMutex held.
void EncoderProgress::call(const std::string& text)
{
    if (IWindowReactions* window = WindowLocked())
        window->setStatusText(text);
}

} // namespace quaylet
