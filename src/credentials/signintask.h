#pragma once

// A sign-in made off the window thread, so that a dialog waiting for the
// service stays painted and can still be cancelled.
//
// The call runs on a worker thread of its own under an internet abort check:
// abort() (or destroying the task) interrupts the exchange within the internet
// layer's poll interval. The answer is delivered as an event of the context
// object, on the context's thread, unless the task was aborted or destroyed
// first; an answer that arrives after that is dropped.

#include "core/backgroundtask.h"
#include "credentials/profile.h"

#include <QObject>

#include <functional>
#include <string>

namespace quaylet {

struct SignInAnswer {
    int result = -4; // SignInWithProfile's result: 1 signed in
    std::string errorText;
};

// How one sign-in is made: blocking, called on the task's worker thread, where
// the internet layer's abort check interrupts it. Empty: SignInWithProfile.
using SignInRunner = std::function<int(const CProfile& profile, std::string& errorText)>;

using SignInDone = std::function<void(const SignInAnswer& answer)>;

class CSignInTask final {
    Q_DISABLE_COPY_MOVE(CSignInTask)

public:
    // context must outlive the task; done runs as one of its events.
    CSignInTask(CProfile profile, QObject& context, SignInDone done, SignInRunner runner = {});
    // Aborts and waits for the worker, at most kJoinBound; a runner that
    // ignores the abort check and outlasts the bound is left to finish alone
    // (it must not refer to anything its caller destroys).
    ~CSignInTask();

    // Interrupts the exchange; done is not called any more. Context's thread.
    void abort();

    static constexpr int kJoinBoundMs = CBackgroundTask::kJoinBoundMs;

private:
    CBackgroundTask m_task;
};

} // namespace quaylet
