#include "platform/events.h"

#include "platform/waitstate.h"

#include <new>

namespace quaylet::platform {

// The one lock behind every event and timer, and the condition every wait sleeps on.
// It is never destroyed: a thread that outlives main (an encoder's output
// reader cut off at its bound, and the exit watch of its child) may still
// lock it while the process's statics are torn down.
WaitState& WaitState::instance()
{
    alignas(WaitState) static unsigned char storage[sizeof(WaitState)];
    static WaitState* const state = ::new (storage) WaitState;
    return *state;
}

class WaitAccess {
public:
    static bool tryAcquire(Waitable& w, SteadyClock::time_point now) { return w.tryAcquireLocked(now); }
    static std::optional<SteadyClock::time_point> nextDue(const Waitable& w) { return w.nextDueLocked(); }
};

Event::Event(Reset mode, bool initiallySet) : m_mode(mode), m_set(initiallySet) {}

void Event::set()
{
    auto& ws = WaitState::instance();
    {
        std::lock_guard lock(ws.mutex);
        m_set = true;
    }
    ws.changed.notify_all();
}

void Event::reset()
{
    std::lock_guard lock(WaitState::instance().mutex);
    m_set = false;
}

bool Event::isSet() const
{
    std::lock_guard lock(WaitState::instance().mutex);
    return m_set;
}

bool Event::tryAcquireLocked(SteadyClock::time_point)
{
    if (!m_set)
        return false;
    if (m_mode == Reset::Auto)
        m_set = false;
    return true;
}

bool Event::wait(std::chrono::milliseconds timeout) const
{
    return waitForAny({const_cast<Event*>(this)}, timeout).has_value();
}

bool Event::wait() const
{
    return waitForAny({const_cast<Event*>(this)}).has_value();
}

void PeriodicTimer::arm(std::chrono::milliseconds dueIn, std::chrono::milliseconds period)
{
    auto& ws = WaitState::instance();
    {
        std::lock_guard lock(ws.mutex);
        m_due = SteadyClock::now() + dueIn;
        m_period = period;
    }
    ws.changed.notify_all();
}

void PeriodicTimer::cancel()
{
    std::lock_guard lock(WaitState::instance().mutex);
    m_due.reset();
}

bool PeriodicTimer::isArmed() const
{
    std::lock_guard lock(WaitState::instance().mutex);
    return m_due.has_value();
}

bool PeriodicTimer::tryAcquireLocked(SteadyClock::time_point now)
{
    if (!m_due || now < *m_due)
        return false;
    if (m_period.count() > 0) {
        // A period missed while nobody waited fires once, not once per period.
        while (*m_due <= now)
            *m_due += m_period;
    } else {
        m_due.reset();
    }
    return true;
}

std::optional<SteadyClock::time_point> PeriodicTimer::nextDueLocked() const
{
    return m_due;
}

std::optional<std::size_t> waitForAny(const std::vector<Waitable*>& slots,
                                      std::optional<std::chrono::milliseconds> timeout)
{
    auto& ws = WaitState::instance();
    const auto deadline = timeout ? std::optional(SteadyClock::now() + *timeout) : std::nullopt;
    std::unique_lock lock(ws.mutex);
    for (;;) {
        const auto now = SteadyClock::now();
        std::optional<SteadyClock::time_point> wakeAt = deadline;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (WaitAccess::tryAcquire(*slots[i], now))
                return i;
            if (auto due = WaitAccess::nextDue(*slots[i]); due && (!wakeAt || *due < *wakeAt))
                wakeAt = due;
        }
        if (deadline && now >= *deadline)
            return std::nullopt;
        if (wakeAt)
            ws.changed.wait_until(lock, *wakeAt);
        else
            ws.changed.wait(lock);
    }
}

} // namespace quaylet::platform
