#include "core/backgroundtask.h"

#include "core/queuedcall.h"
#include "platform/internet.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace quaylet {

// Shared by the task (on the context's thread) and its worker, which may
// outlive the task when the join bound runs out.
struct CBackgroundTask::Shared {
    // Read by the worker's abort check, written by abort().
    std::atomic<bool> aborted{false};

    std::mutex lock;
    std::condition_variable finishedChanged;
    // Guarded by lock. The worker has posted its delivery (or found it dropped).
    bool finished = false;
    // Guarded by lock. The delivery must not run any more; while it is false
    // the context is alive, so the worker may post to it.
    bool dropped = false;
    std::thread worker; // joined or detached by the task's destructor
};

CBackgroundTask::CBackgroundTask(QObject& context, Work work)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->worker = std::thread([shared = m_shared, context = &context, work = std::move(work)] {
        Delivery delivery;
        {
            const platform::ScopedInternetAbort abort([&shared] { return shared->aborted.load(); });
            delivery = work();
        }
        // Posting under the lock: the task cannot be destroyed meanwhile, so
        // neither can the context it outlives.
        std::lock_guard guard(shared->lock);
        if (!shared->dropped && delivery) {
            QMetaObject::invokeMethod(
                context,
                QueuedCall([shared, delivery = std::move(delivery)] {
                    {
                        std::lock_guard deliver(shared->lock);
                        if (shared->dropped)
                            return;
                    }
                    // Outside the lock: the delivery may destroy the task.
                    delivery();
                }),
                Qt::QueuedConnection);
        }
        shared->finished = true;
        shared->finishedChanged.notify_all();
    });
}

CBackgroundTask::~CBackgroundTask()
{
    abort();
    bool finished = false;
    {
        std::unique_lock guard(m_shared->lock);
        finished = m_shared->finishedChanged.wait_for(guard, std::chrono::milliseconds(kJoinBoundMs),
                                                      [this] { return m_shared->finished; });
    }
    if (finished)
        m_shared->worker.join();
    else
        m_shared->worker.detach();
}

void CBackgroundTask::abort()
{
    m_shared->aborted = true;
    std::lock_guard guard(m_shared->lock);
    m_shared->dropped = true;
}

} // namespace quaylet
