#pragma once

// A blocking call made off the window thread, so that the window stays
// painted and responsive while it waits for the network.
//
// The call runs on a worker thread of its own under an internet abort check:
// abort() (or destroying the task) interrupts an exchange within the internet
// layer's poll interval. What the call hands back is delivered as an event of
// the context object, on the context's thread, unless the task was aborted or
// destroyed first; a delivery that arrives after that is dropped.

#include <QObject>

#include <functional>
#include <memory>

namespace quaylet {

class CBackgroundTask final {
    Q_DISABLE_COPY_MOVE(CBackgroundTask)

public:
    // What runs on the context's thread with the call's outcome; it may
    // destroy the task.
    using Delivery = std::function<void()>;
    // The blocking call, on the worker thread. It must not throw.
    using Work = std::function<Delivery()>;

    // context must outlive the task.
    CBackgroundTask(QObject& context, Work work);
    // Aborts and waits for the worker, at most kJoinBoundMs; work that ignores
    // the abort check and outlasts the bound is left to finish alone (it must
    // not refer to anything its caller destroys).
    ~CBackgroundTask();

    // Interrupts the call; nothing is delivered any more. Context's thread.
    void abort();

    static constexpr int kJoinBoundMs = 3000;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace quaylet
