#pragma once

// Events, a periodic timer and a wait for the first of several of them: the
// synchronisation objects the transfer engine sleeps on. All objects share one
// process-wide lock and condition, so that a wait can cover any mix of them
// without polling; setting an object wakes every waiter, and each waiter
// re-checks its own slots.

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

namespace quaylet::platform {

using SteadyClock = std::chrono::steady_clock;

// Something a thread can wait for. Implementations are guarded by the shared lock.
class Waitable {
public:
    Waitable() = default;
    Waitable(const Waitable&) = delete;
    Waitable& operator=(const Waitable&) = delete;
    virtual ~Waitable() = default;

protected:
    friend class WaitAccess;
    // Called with the shared lock held. Returns true when signalled and, for
    // auto-reset objects, takes the signal.
    virtual bool tryAcquireLocked(SteadyClock::time_point now) = 0;
    // The moment the object becomes signalled by itself (timers), if any.
    virtual std::optional<SteadyClock::time_point> nextDueLocked() const { return std::nullopt; }
};

// A kernel-style event: manual reset stays set until reset(); auto reset is
// taken by the one wait that sees it.
class Event final : public Waitable {
public:
    enum class Reset { Manual, Auto };
    explicit Event(Reset mode, bool initiallySet = false);

    void set();
    void reset();
    bool isSet() const;
    // Waits until set (and takes it for auto reset); false on time-out.
    bool wait(std::chrono::milliseconds timeout) const;
    bool wait() const;

private:
    bool tryAcquireLocked(SteadyClock::time_point now) override;
    Reset m_mode;
    bool m_set;
};

// A waitable timer with auto reset: it becomes signalled at its due time and then
// once per period (when the period is not zero). Re-arming while someone waits
// takes effect at once.
class PeriodicTimer final : public Waitable {
public:
    PeriodicTimer() = default;

    void arm(std::chrono::milliseconds dueIn, std::chrono::milliseconds period);
    void cancel();
    bool isArmed() const;

private:
    bool tryAcquireLocked(SteadyClock::time_point now) override;
    std::optional<SteadyClock::time_point> nextDueLocked() const override;
    std::optional<SteadyClock::time_point> m_due;
    std::chrono::milliseconds m_period{0};
};

// Waits for the first of the objects to be signalled and returns its slot (the
// lowest slot when several are). Returns nullopt on time-out; no time-out waits forever.
std::optional<std::size_t> waitForAny(const std::vector<Waitable*>& slots,
                                      std::optional<std::chrono::milliseconds> timeout = std::nullopt);

} // namespace quaylet::platform
