#pragma once

// A waitable that becomes signalled (and stays so) when a child process ends,
// so that a wait can cover "the encoder finished" beside the quit and cancel
// events. A small watcher thread sleeps in poll() on the process's pidfd.

#include "platform/events.h"
#include "platform/uniquefd.h"

#include <sys/types.h>
#include <thread>

namespace quaylet::platform {

class ProcessExit final : public Waitable {
public:
    // The process must be a child of this one (or at least visible to pidfd_open).
    explicit ProcessExit(pid_t pid);
    ~ProcessExit() override;

    bool valid() const { return m_pidfd.valid(); }
    bool hasEnded() const;

private:
    bool tryAcquireLocked(SteadyClock::time_point now) override;
    void watch();

    UniqueFd m_pidfd;
    UniqueFd m_stop; // eventfd that ends the watcher early
    bool m_ended = false; // guarded by the shared wait lock
    std::thread m_watcher;
};

} // namespace quaylet::platform
