#include "transfer/delaymethodcall.h"

#include <time.h>

#include <utility>

namespace quaylet {

namespace {
// The upload asks once per kilobyte it writes, so a reading must cost little:
// the coarse monotonic clock is the steady clock read at the resolution of
// the kernel's tick (a few milliseconds, far finer than the interval) without
// asking the hardware each time.
std::chrono::steady_clock::time_point coarseNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

// Readings count from the first use of the limiter in this process, the way a
// process-time clock would; a fresh limiter therefore lets its first text
// through once the process has run for longer than the interval.
std::chrono::steady_clock::time_point processOrigin()
{
    static const auto origin = coarseNow();
    return origin;
}

std::chrono::steady_clock::duration ticksOf(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}
} // namespace

CDelayMethodCall::CDelayMethodCall(Clock clock)
    : m_origin(clock ? clock() : processOrigin()),
      m_clock(std::move(clock)),
      m_intervalTicks(ticksOf(m_interval)),
      m_lastCall(m_origin)
{
}

std::chrono::steady_clock::time_point CDelayMethodCall::now() const
{
    return m_clock ? m_clock() : coarseNow();
}

void CDelayMethodCall::bind(IDelayMethodCaller* target, double intervalSeconds)
{
    m_target = target;
    m_lastCall = m_origin;
    if (intervalSeconds != 0.0) {
        m_interval = intervalSeconds;
        m_intervalTicks = ticksOf(intervalSeconds);
    }
}

void CDelayMethodCall::call(const std::string& text)
{
    const auto at = now();
    if (at - m_lastCall <= m_intervalTicks)
        return;
    if (m_target)
        m_target->call(text);
    m_lastCall = at;
}

} // namespace quaylet
