#include "platform/processexit.h"

#include "platform/waitstate.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>

namespace quaylet::platform {

namespace {
int openPidfd(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}
} // namespace

ProcessExit::ProcessExit(pid_t pid)
    : m_pidfd(openPidfd(pid)), m_stop(::eventfd(0, EFD_CLOEXEC))
{
    if (!m_pidfd.valid()) {
        // The process is already gone (or was never ours): count it as ended.
        std::lock_guard lock(WaitState::instance().mutex);
        m_ended = true;
        return;
    }
    m_watcher = std::thread([this] { watch(); });
}

ProcessExit::~ProcessExit()
{
    if (m_watcher.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_stop.get(), &one, sizeof one);
        m_watcher.join();
    }
}

void ProcessExit::watch()
{
    pollfd fds[2] = {{m_pidfd.get(), POLLIN, 0}, {m_stop.get(), POLLIN, 0}};
    for (;;) {
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || (fds[0].revents != 0)) {
            auto& ws = WaitState::instance();
            {
                std::lock_guard lock(ws.mutex);
                m_ended = true;
            }
            ws.changed.notify_all();
            return;
        }
        if (fds[1].revents != 0)
            return;
    }
}

bool ProcessExit::hasEnded() const
{
    std::lock_guard lock(WaitState::instance().mutex);
    return m_ended;
}

bool ProcessExit::tryAcquireLocked(SteadyClock::time_point)
{
    return m_ended;
}

} // namespace quaylet::platform
