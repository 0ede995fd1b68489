#pragma once

// Rate limiting of status-text updates: the engine reports progress far more
// often than anyone can read, so at most one text passes every 0.2 seconds.

#include <chrono>
#include <functional>
#include <string>

namespace quaylet {

// Something that puts a text on the screen.
class IDelayMethodCaller {
public:
    virtual ~IDelayMethodCaller() = default;
    virtual void call(const std::string& text) = 0;
};

// Passes a text on to its target only when more than the interval has passed
// since the last text it let through. Used by one thread at a time.
class CDelayMethodCall final {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr double kDefaultInterval = 0.2; // seconds

    // The clock is a seam for tests; by default the steady clock at the
    // kernel tick's resolution.
    explicit CDelayMethodCall(Clock clock = {});
    CDelayMethodCall(const CDelayMethodCall&) = delete;
    CDelayMethodCall& operator=(const CDelayMethodCall&) = delete;

    // Sets the target and forgets the last call; the interval changes only when
    // the given one is not 0.
    void bind(IDelayMethodCaller* target, double intervalSeconds = 0.0);
    void call(const std::string& text);
    double interval() const { return m_interval; }

private:
    std::chrono::steady_clock::time_point now() const;

    // An injected clock's first reading stands for the start of the process.
    std::chrono::steady_clock::time_point m_origin; // "process start" of the clock readings
    Clock m_clock;                                  // empty: the coarse steady clock
    double m_interval = kDefaultInterval;
    // The upload asks once per kilobyte it writes: the comparison is done
    // in the clock's own ticks.
    std::chrono::steady_clock::duration m_intervalTicks;
    IDelayMethodCaller* m_target = nullptr;
    std::chrono::steady_clock::time_point m_lastCall; // the origin until a text passes
};

} // namespace quaylet
