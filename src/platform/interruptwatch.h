#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into an event: Ctrl-C, a kill, a closed
// terminal and the end of the desktop session all end the run the same way
// (the transfer stopped, renamed files given their names back). The signals
// are blocked in every thread and taken by a thread of its own, so no call is
// cut off at a random point. Create it before any other thread, so that every
// thread inherits the blocked mask (a thread made earlier would take the
// signal itself and end the process at once). Children inherit the mask too:
// whoever starts a program that should keep the usual signals sets its mask
// back (ChildProcess does, and QProcess does by itself).
//
// Asked to, it takes SIGTSTP and SIGCONT as well (Ctrl-Z; fg, bg or kill
// -CONT): the kernel then never stops the process, which instead hears a
// pause and its end through the pause handler and keeps its connections and
// its place. A SIGCONT without a pause before it (after a SIGSTOP) changes
// nothing.
//
// Threads: made and destroyed on the main thread; the event, signal() and the
// wake descriptor may be used from any thread.

#include "platform/events.h"
#include "platform/uniquefd.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

namespace quaylet::platform {

enum class PauseSignals { Default, Taken };

class InterruptWatch final {
public:
    explicit InterruptWatch(PauseSignals pauseSignals = PauseSignals::Default);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    InterruptWatch(InterruptWatch&&) = delete;
    InterruptWatch& operator=(InterruptWatch&&) = delete;

    // Set by the first of the signals; never reset.
    Event interrupted{Event::Reset::Manual};
    // The first signal taken, 0 before.
    int signal() const { return m_signal; }
    // Becomes readable once interrupted: for calls that wait in poll() rather
    // than on events (reading the password).
    int wakeFd() const { return m_wakeRead.get(); }

    // With PauseSignals::Taken: called on the watch's thread with true for a
    // SIGTSTP and false for the SIGCONT that ends it, and once at once with
    // true when a pause came before the handler (during a sign-in, say).
    // Setting a handler (an empty one too) waits for a call in progress: once
    // it returns, the previous handler is never called again.
    void setPauseHandler(std::function<void(bool paused)> handler);

private:
    void pauseSignal(bool paused);

    sigset_t m_signals{};
    std::atomic<int> m_signal{0};
    std::atomic<bool> m_stopping{false};
    UniqueFd m_wakeRead;
    UniqueFd m_wakeWrite;
    std::mutex m_pauseMutex; // guards the two below; held while the handler runs
    bool m_paused = false;
    std::function<void(bool paused)> m_pauseHandler;
    std::thread m_thread; // last: started once everything above is ready
};

} // namespace quaylet::platform
