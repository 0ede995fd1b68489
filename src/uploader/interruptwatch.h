#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into an event: Ctrl-C, a kill and a closed
// terminal all end the run the same way (the transfer stopped, renamed files
// given their names back). The signals are blocked in every thread and taken
// by a thread of its own, so no call is cut off at a random point. Create it
// before any other thread, so that every thread inherits the blocked mask.
//
// Threads: made and destroyed on the main thread; the event, signal() and the
// wake descriptor may be used from any thread.

#include "platform/events.h"
#include "platform/uniquefd.h"

#include <atomic>
#include <csignal>
#include <thread>

namespace quaylet {

class InterruptWatch final {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Set by the first of the signals; never reset.
    platform::Event interrupted{platform::Event::Reset::Manual};
    // The first signal taken, 0 before.
    int signal() const { return m_signal; }
    // Becomes readable once interrupted: for calls that wait in poll() rather
    // than on events (reading the password).
    int wakeFd() const { return m_wakeRead.get(); }

private:
    sigset_t m_signals{};
    std::atomic<int> m_signal{0};
    std::atomic<bool> m_stopping{false};
    platform::UniqueFd m_wakeRead;
    platform::UniqueFd m_wakeWrite;
    std::thread m_thread; // last: started once everything above is ready
};

} // namespace quaylet
