#include "platform/events.h"
#include "platform/processexit.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;
using quaylet::platform::Event;
using quaylet::platform::PeriodicTimer;
using quaylet::platform::ProcessExit;
using quaylet::platform::waitForAny;

TEST(Events, WaitForAnyReportsTheLowestSignalledSlot)
{
    Event quit(Event::Reset::Manual), work(Event::Reset::Manual), cancel(Event::Reset::Manual);
    work.set();
    cancel.set();
    EXPECT_EQ(waitForAny({&quit, &work, &cancel}, 0ms), 1u);
    quit.set();
    EXPECT_EQ(waitForAny({&quit, &work, &cancel}, 0ms), 0u);
}

TEST(Events, ManualResetStaysSetAutoResetIsTakenOnce)
{
    Event manual(Event::Reset::Manual, true);
    Event automatic(Event::Reset::Auto, true);
    EXPECT_TRUE(manual.wait(0ms));
    EXPECT_TRUE(manual.wait(0ms));
    EXPECT_TRUE(automatic.wait(0ms));
    EXPECT_FALSE(automatic.wait(0ms));
    manual.reset();
    EXPECT_FALSE(manual.wait(20ms));
}

TEST(Events, SetFromAnotherThreadWakesTheWaiter)
{
    Event quit(Event::Reset::Manual), work(Event::Reset::Manual);
    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        work.set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitForAny({&quit, &work}), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    setter.join();
}

TEST(Events, TimeOutReturnsNothing)
{
    Event e(Event::Reset::Manual);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(waitForAny({&e}, 60ms).has_value());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
}

TEST(PeriodicTimerTest, FiresAtDueTimeThenEveryPeriod)
{
    PeriodicTimer timer;
    Event never(Event::Reset::Manual);
    EXPECT_FALSE(waitForAny({&never, &timer}, 30ms).has_value()) << "an unarmed timer never fires";
    timer.arm(0ms, 80ms);
    EXPECT_EQ(waitForAny({&never, &timer}, 10ms), 1u) << "due at once";
    EXPECT_FALSE(waitForAny({&never, &timer}, 40ms).has_value()) << "auto reset: the next firing is a period later";
    EXPECT_EQ(waitForAny({&never, &timer}, 200ms), 1u);
    timer.cancel();
    EXPECT_FALSE(waitForAny({&never, &timer}, 120ms).has_value());
}

TEST(PeriodicTimerTest, RearmingWhileWaitedOnTakesEffect)
{
    PeriodicTimer timer;
    Event never(Event::Reset::Manual);
    timer.arm(10s, 10s);
    std::thread rearm([&] {
        std::this_thread::sleep_for(50ms);
        timer.arm(0ms, 60000ms);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitForAny({&never, &timer}, 5s), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    rearm.join();
}

TEST(ProcessExitTest, SignalledWhenTheChildEnds)
{
    pid_t pid = 0;
    char sh[] = "/bin/sh", c[] = "-c", script[] = "sleep 0.2";
    char* argv[] = {sh, c, script, nullptr};
    ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    ProcessExit exit(pid);
    Event quit(Event::Reset::Manual);
    EXPECT_FALSE(waitForAny({&quit, &exit}, 50ms).has_value());
    EXPECT_EQ(waitForAny({&quit, &exit}, 5s), 1u);
    EXPECT_TRUE(exit.hasEnded());
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid) << "the watcher must not reap the child";
}
