#include "platform/processexit.h"

#include "platform/waitstate.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace quaylet::platform {

namespace {

std::atomic<bool> g_failPidfd{false};
std::atomic<bool> g_failEventfd{false};

int openPidfd(pid_t pid)
{
    if (g_failPidfd) {
        errno = ENOSYS;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int openStopFd()
{
    if (g_failEventfd) {
        errno = EMFILE;
        return -1;
    }
    return ::eventfd(0, EFD_CLOEXEC);
}

} // namespace

void ProcessExit::InjectFaults(Faults faults)
{
    g_failPidfd = faults.pidfdOpen;
    g_failEventfd = faults.eventfd;
}

ProcessExit::ProcessExit(pid_t pid) : m_pid(pid), m_pidfd(openPidfd(pid)), m_stop(openStopFd())
{
    if (m_pidfd.valid() && m_stop.valid()) {
        try {
            m_watcher = std::thread([this] { watch(); });
            return;
        } catch (const std::system_error&) {
        }
    }
    // A watcher could not be set up: the waits poll instead.
    m_pidfd.reset();
    m_stop.reset();
    std::lock_guard lock(WaitState::instance().mutex);
    m_polling = true;
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
        if (rc >= 0 && fds[0].revents == 0) {
            if (fds[1].revents != 0)
                return; // asked to stop
            continue;
        }
        auto& ws = WaitState::instance();
        {
            std::lock_guard lock(ws.mutex);
            // A failed poll says nothing about the child: the waits take the watch over.
            if (rc < 0)
                m_polling = true;
            else
                m_ended = true;
        }
        ws.changed.notify_all();
        return;
    }
}

bool ProcessExit::endedLocked() const
{
    if (m_ended || !m_polling)
        return m_ended;
    // Looks without reaping, so that the owner still collects the exit status.
    siginfo_t info{};
    const int rc = ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
    // ECHILD: not (or no longer) our child, so nothing is left to wait for.
    if ((rc == 0 && info.si_pid == m_pid) || (rc < 0 && errno == ECHILD))
        m_ended = true;
    return m_ended;
}

bool ProcessExit::hasEnded() const
{
    std::lock_guard lock(WaitState::instance().mutex);
    return endedLocked();
}

bool ProcessExit::tryAcquireLocked(SteadyClock::time_point)
{
    return endedLocked();
}

std::optional<SteadyClock::time_point> ProcessExit::nextDueLocked() const
{
    if (m_polling && !m_ended)
        return SteadyClock::now() + kPollInterval;
    return std::nullopt;
}

} // namespace quaylet::platform
