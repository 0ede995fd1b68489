#include "platform/interruptwatch.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace quaylet::platform {

InterruptWatch::InterruptWatch(PauseSignals pauseSignals)
{
    sigemptyset(&m_signals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&m_signals, s);
    if (pauseSignals == PauseSignals::Taken) {
        sigaddset(&m_signals, SIGTSTP);
        sigaddset(&m_signals, SIGCONT);
    }
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_wakeRead.reset(fds[0]);
        m_wakeWrite.reset(fds[1]);
    }
    m_thread = std::thread([this] {
        for (;;) {
            int taken = 0;
            if (sigwait(&m_signals, &taken) != 0 || m_stopping)
                return;
            if (taken == SIGTSTP || taken == SIGCONT) {
                pauseSignal(taken == SIGTSTP);
                continue;
            }
            // Only the first counts; a second Ctrl-C while the run winds down
            // changes nothing (the wind-down is bounded).
            int none = 0;
            if (m_signal.compare_exchange_strong(none, taken)) {
                interrupted.set();
                if (m_wakeWrite.valid()) {
                    [[maybe_unused]] const auto n = ::write(m_wakeWrite.get(), "!", 1);
                }
            }
        }
    });
}

void InterruptWatch::pauseSignal(bool paused)
{
    std::lock_guard lock(m_pauseMutex);
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (m_pauseHandler)
        m_pauseHandler(paused);
}

void InterruptWatch::setPauseHandler(std::function<void(bool paused)> handler)
{
    std::lock_guard lock(m_pauseMutex);
    m_pauseHandler = std::move(handler);
    if (m_paused && m_pauseHandler)
        m_pauseHandler(true);
}

InterruptWatch::~InterruptWatch()
{
    m_stopping = true;
    pthread_kill(m_thread.native_handle(), SIGTERM);
    m_thread.join();
}

} // namespace quaylet::platform
