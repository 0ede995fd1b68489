#include "credentials/signintask.h"

#include <utility>

namespace quaylet {

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
    : m_task(context, [profile = std::move(profile), done = std::move(done), runner = std::move(runner)] {
        return [done, answer = RunSignIn(profile, runner)] { done(answer); };
    })
{
}

CSignInTask::~CSignInTask() = default;

void CSignInTask::abort()
{
    m_task.abort();
}

} // namespace quaylet
