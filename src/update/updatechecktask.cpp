#include "update/updatechecktask.h"

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
struct CUpdateCheckTask::Shared {
    // Set by the task's destructor, read by the worker's abort check.
    std::atomic<bool> dropped{false};

    std::mutex lock;
    std::condition_variable finishedChanged;
    // Guarded by lock. The worker has posted its answer (or found it dropped).
    bool finished = false;
    // Guarded by lock. While it is false the task, and so the context, lives:
    // the worker may post to the context, and the posted answer may run.
    bool answerDropped = false;
    std::thread worker; // joined or detached by the task's destructor
};

namespace {

UpdateCheckAnswer RunCheck(CUpdateCheck& check, const std::string& address)
{
    UpdateCheckAnswer answer;
    try {
        answer.result = check.CheckForUpdate(address, answer.ownVersion, answer.webVersion);
        if (answer.result == 1)
            answer.downloadAddress = check.downloadAddress();
    } catch (...) {
        // A thread that lets an exception out ends the program.
        answer = {};
    }
    return answer;
}

} // namespace

CUpdateCheckTask::CUpdateCheckTask(std::unique_ptr<CUpdateCheck> check, std::string address, QObject& context,
                                   UpdateCheckDone done)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->worker = std::thread([shared = m_shared, check = std::move(check), address = std::move(address),
                                    context = &context, done = std::move(done)] {
        UpdateCheckAnswer answer;
        {
            const platform::ScopedInternetAbort abort([&shared] { return shared->dropped.load(); });
            answer = RunCheck(*check, address);
        }
        // Posting under the lock: the task cannot be destroyed meanwhile, so
        // neither can the context it outlives.
        std::lock_guard guard(shared->lock);
        if (!shared->answerDropped) {
            QMetaObject::invokeMethod(
                context,
                [shared, done, answer] {
                    {
                        std::lock_guard deliver(shared->lock);
                        if (shared->answerDropped)
                            return;
                    }
                    // Outside the lock: done may destroy the task.
                    done(answer);
                },
                Qt::QueuedConnection);
        }
        shared->finished = true;
        shared->finishedChanged.notify_all();
    });
}

CUpdateCheckTask::~CUpdateCheckTask()
{
    m_shared->dropped = true;
    bool finished = false;
    {
        std::unique_lock guard(m_shared->lock);
        m_shared->answerDropped = true;
        finished = m_shared->finishedChanged.wait_for(guard, std::chrono::milliseconds(kJoinBoundMs),
                                                      [this] { return m_shared->finished; });
    }
    if (finished)
        m_shared->worker.join();
    else
        m_shared->worker.detach();
}

} // namespace quaylet
