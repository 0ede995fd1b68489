#pragma once

// Hands the transfer engine's calls to the window thread: each call runs there
// and the calling thread waits until it has run, so the window sees the
// engine's reports synchronously and in the order they were made. Waiting
// stops as soon as the quit event is set or the marshal is closed, so a window
// being destroyed never deadlocks the transfer thread; a call that has not run
// by then is dropped.
//
// Threads: construct, close and destroy on the window thread (the thread
// whose event loop runs the calls). invoke() may be called from any thread;
// on the window thread itself it runs the call directly.

#include "platform/events.h"
#include "transfer/windowreactions.h"

#include <functional>
#include <memory>
#include <mutex>

class QObject;
class QThread;

namespace quaylet {

class CWindowCallMarshal final {
public:
    explicit CWindowCallMarshal(platform::Event& quit);
    ~CWindowCallMarshal(); // closes: waiting callers return, pending calls are dropped
    CWindowCallMarshal(const CWindowCallMarshal&) = delete;
    CWindowCallMarshal& operator=(const CWindowCallMarshal&) = delete;

    // Runs call on the window thread and returns once it has run (true). Returns
    // false without running it when the quit event is set or the marshal is
    // closed, and stops waiting (false) as soon as either happens. The call must
    // own everything it uses: after a false return it may still be running.
    bool invoke(std::function<void()> call);

    // No further call is taken; callers waiting now return at once.
    void close();

    struct Pending; // one call on its way; internal

private:
    platform::Event& m_quit;
    std::shared_ptr<platform::Event> m_closed; // shared with waiters, which may outlive this object
    std::mutex m_postMutex;                    // guards m_isClosed and posting to m_receiver
    bool m_isClosed = false;
    QThread* m_thread = nullptr;
    std::unique_ptr<QObject> m_receiver; // lives on the window thread; its queued events are the calls
};

// The window's reactions as the transfer thread reaches them: every call is
// marshalled to the window thread and there made on the window's own
// implementation.
class CMarshalledWindowReactions final : public IWindowReactions {
public:
    CMarshalledWindowReactions(IWindowReactions& window, CWindowCallMarshal& marshal)
        : m_window(window), m_marshal(marshal)
    {
    }

    void sendMessage(WindowMessage message, int64_t parameter) override;
    void setProgressPosition(int position) override;
    void setProgressMaximum(int maximum) override;
    void setStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;

private:
    IWindowReactions& m_window;
    CWindowCallMarshal& m_marshal;
};

} // namespace quaylet
