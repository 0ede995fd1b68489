#pragma once

// A waitable that becomes signalled (and stays so) when a child process ends,
// so that a wait can cover "the encoder finished" beside the quit and cancel
// events. A small watcher thread sleeps in poll() on the process's pidfd.
// Where that cannot be set up (no pidfd, no eventfd to stop the watcher, no
// thread), the end is looked for at every wake-up of a wait instead, and a wait
// wakes for it every kPollInterval: slower to notice, but still interruptible
// by the other objects of the wait, and never reporting an end that has not
// happened.

#include "platform/events.h"
#include "platform/uniquefd.h"

#include <chrono>
#include <sys/types.h>
#include <thread>

namespace quaylet::platform {

class ProcessExit final : public Waitable {
public:
    static constexpr std::chrono::milliseconds kPollInterval{50};

    // The process must be a child of this one; it is never reaped here.
    explicit ProcessExit(pid_t pid);
    ~ProcessExit() override;

    bool hasEnded() const;

    // Test seam: watchers made from now on act as if these calls had failed.
    struct Faults {
        bool pidfdOpen = false;
        bool eventfd = false;
    };
    static void InjectFaults(Faults faults);

private:
    bool tryAcquireLocked(SteadyClock::time_point now) override;
    std::optional<SteadyClock::time_point> nextDueLocked() const override;
    // Called with the shared wait lock held; polls when there is no watcher.
    bool endedLocked() const;
    void watch();

    const pid_t m_pid;
    UniqueFd m_pidfd;             // owned by the watcher while it runs
    UniqueFd m_stop;              // eventfd that ends the watcher early
    mutable bool m_ended = false; // guarded by the shared wait lock
    bool m_polling = false;       // guarded by the shared wait lock
    std::thread m_watcher;
};

} // namespace quaylet::platform
