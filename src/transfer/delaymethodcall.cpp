#include "transfer/delaymethodcall.h"

#include <time.h>

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
} // namespace

CDelayMethodCall::CDelayMethodCall(Clock clock)
    : m_origin(clock ? clock() : processOrigin()),
      m_clock(clock ? std::move(clock) : Clock(&coarseNow))
{
}

void CDelayMethodCall::bind(IDelayMethodCaller* target, double intervalSeconds)
{
    m_target = target;
    m_lastCallMs = 0.0;
    if (intervalSeconds != 0.0)
        m_interval = intervalSeconds;
}

void CDelayMethodCall::call(const std::string& text)
{
    const double nowMs = std::chrono::duration<double, std::milli>(m_clock() - m_origin).count();
    if ((nowMs - m_lastCallMs) / 1000.0 <= m_interval)
        return;
    if (m_target)
        m_target->call(text);
    m_lastCallMs = nowMs;
}

} // namespace quaylet
