#include "transfer/delaymethodcall.h"

namespace quaylet {

namespace {
// Readings count from the first use of the limiter in this process, the way a
// process-time clock would; a fresh limiter therefore lets its first text
// through once the process has run for longer than the interval.
std::chrono::steady_clock::time_point processOrigin()
{
    static const auto origin = std::chrono::steady_clock::now();
    return origin;
}
} // namespace

CDelayMethodCall::CDelayMethodCall(Clock clock)
    : m_origin(clock ? clock() : processOrigin()),
      m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); }))
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
