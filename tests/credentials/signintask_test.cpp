#include "api/endpoints.h"
#include "credentials/signintask.h"
#include "devserver/devserverprocess.h"
#include "support/sandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

using namespace quaylet;

namespace {

// Runs the event loop until done() holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

struct Delivery {
    std::optional<SignInAnswer> answer;
    bool onContextThread = false;
};

SignInDone Record(Delivery& delivery)
{
    return [&delivery](const SignInAnswer& answer) {
        delivery.answer = answer;
        delivery.onContextThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    };
}

} // namespace

TEST(SignInTaskTest, AnswersOnTheContextThreadWithTheServicesVerdict)
{
    test::DevServerProcess server(test::SandboxPath("data"));
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, server.origin().c_str(), 1);

    struct Case {
        const char* user;
        const char* password;
        int result;
        const char* errorText;
    };
    const Case cases[] = {
        {"alice", "wonderland", 1, ""},
        {"alice", "looking-glass", -4, "Invalid username or password"},
        {"", "", -4, "Invalid username or password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        QObject context;
        Delivery delivery;
        CSignInTask task(CProfile(c.user, c.password), context, Record(delivery));
        ASSERT_TRUE(PumpUntil([&] { return delivery.answer.has_value(); }, 10000));
        EXPECT_TRUE(delivery.onContextThread);
        EXPECT_EQ(delivery.answer->result, c.result);
        EXPECT_EQ(delivery.answer->errorText, c.errorText);
    }
}

TEST(SignInTaskTest, AbortInterruptsAStalledExchangeAtOnceAndDropsTheAnswer)
{
    test::DevServerProcess server(test::SandboxPath("data"), {"--fault", "delay=30000@User.login"});
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, server.origin().c_str(), 1);

    // Once by abort() with the task kept, once by destroying it.
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "aborted");
        QObject context;
        Delivery delivery;
        std::thread::id worker;
        auto task = std::make_unique<CSignInTask>(CProfile("alice", "wonderland"), context, Record(delivery),
                                                  [&worker](const CProfile& profile, std::string& errorText) {
                                                      worker = std::this_thread::get_id();
                                                      return SignInWithProfile(profile, errorText);
                                                  });
        // Long enough for the request to be waiting for its reply.
        PumpUntil([] { return false; }, 500);
        QElapsedTimer timer;
        timer.start();
        if (destroy) {
            task.reset();
        } else {
            task->abort();
            PumpUntil([] { return false; }, 300);
            task.reset();
        }
        // Far below the server's delay and the join bound: the exchange ended.
        EXPECT_LT(timer.elapsed(), destroy ? 2000 : 2300);
        EXPECT_NE(worker, std::thread::id());
        EXPECT_NE(worker, std::this_thread::get_id());
        PumpUntil([] { return false; }, 200);
        EXPECT_FALSE(delivery.answer.has_value());
    }
}

TEST(SignInTaskTest, ARunnerThatIgnoresTheAbortNeverHoldsTheCallerPastTheBound)
{
    QObject context;
    Delivery delivery;
    QElapsedTimer timer;
    {
        CSignInTask task(CProfile("alice", "wonderland"), context, Record(delivery),
                         [](const CProfile&, std::string&) {
                             std::this_thread::sleep_for(std::chrono::seconds(8));
                             return 1;
                         });
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), CSignInTask::kJoinBoundMs + 2000);
    PumpUntil([] { return false; }, 100);
    EXPECT_FALSE(delivery.answer.has_value());
}
