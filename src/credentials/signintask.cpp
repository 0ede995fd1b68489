#include "credentials/signintask.h"

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
struct CSignInTask::Shared {
    // Read by the worker's abort check, written by abort().
    std::atomic<bool> aborted{false};

    std::mutex lock;
    std::condition_variable finishedChanged;
    // Guarded by lock. The worker has posted its answer (or found it dropped).
    bool finished = false;
    // Guarded by lock. The answer must not reach done any more; while it is
    // false the context is alive, so the worker may post to it.
    bool dropped = false;
    std::thread worker; // joined or detached by the task's destructor
};

namespace {

SignInAnswer RunSignIn(const CProfile& profile, const SignInRunner& runner)
{
    SignInAnswer answer;
    try {
        answer.result = runner ? runner(profile, answer.errorText) : SignInWithProfile(profile, answer.errorText);
    } catch (...) {
        // A thread that lets an exception out ends the program.
        answer.result = -4;
    }
    return answer;
}

} // namespace

CSignInTask::CSignInTask(CProfile profile, QObject& context, SignInDone done, SignInRunner runner)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->worker = std::thread([shared = m_shared, profile = std::move(profile), context = &context,
                                    done = std::move(done), runner = std::move(runner)] {
        SignInAnswer answer;
        {
            const platform::ScopedInternetAbort abort([&shared] { return shared->aborted.load(); });
            answer = RunSignIn(profile, runner);
        }
        // Posting under the lock: the task cannot be destroyed meanwhile, so
        // neither can the context it outlives.
        std::lock_guard guard(shared->lock);
        if (!shared->dropped) {
            QMetaObject::invokeMethod(
                context,
                [shared, done, answer] {
                    {
                        std::lock_guard deliver(shared->lock);
                        if (shared->dropped)
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

CSignInTask::~CSignInTask()
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

void CSignInTask::abort()
{
    m_shared->aborted = true;
    std::lock_guard guard(m_shared->lock);
    m_shared->dropped = true;
}

} // namespace quaylet
