#include "platform/childprocess.h"
#include "platform/processexit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;
using quaylet::platform::ChildProcess;
using quaylet::platform::Event;
using quaylet::platform::ProcessExit;
using quaylet::platform::waitForAny;

namespace {

// Makes the watchers of one scope fail to set up, and mends them afterwards.
struct InjectedFaults {
    explicit InjectedFaults(ProcessExit::Faults faults) { ProcessExit::InjectFaults(faults); }
    ~InjectedFaults() { ProcessExit::InjectFaults({}); }
};

struct FaultCase {
    const char* name;
    ProcessExit::Faults faults;
};
const FaultCase kFaultCases[] = {
    {"no pidfd", {true, false}},
    {"no eventfd", {false, true}},
    {"neither", {true, true}},
};

} // namespace

// Without its watcher the end of a child is still only reported once it has
// happened, so quit can interrupt the wait and a wait with a bound keeps it.
TEST(ChildProcessTest, EndIsReportedTrulyAndWaitsStayInterruptibleWithoutAWatcher)
{
    for (const auto& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        InjectedFaults faults(c.faults);
        ChildProcess sleeper;
        ASSERT_EQ(sleeper.start({"sh", "-c", "sleep 30"}), 0);
        Event quit(Event::Reset::Manual);
        std::thread quitter([&] {
            std::this_thread::sleep_for(200ms);
            quit.set();
        });
        const auto start = std::chrono::steady_clock::now();
        const auto slot = waitForAny({&quit, &sleeper.exitWaitable()}, 5s);
        quitter.join();
        ASSERT_EQ(slot, 0u) << "the running child was reported as ended";
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_FALSE(sleeper.hasEnded());
        EXPECT_FALSE(sleeper.waitExit(100ms).has_value());

        sleeper.stopGroup();
        const auto killed = sleeper.waitExit(5s);
        ASSERT_TRUE(killed.has_value());
        EXPECT_TRUE(WIFSIGNALED(*killed) && WTERMSIG(*killed) == SIGKILL);

        ChildProcess quick;
        ASSERT_EQ(quick.start({"sh", "-c", "sleep 0.2; exit 3"}), 0);
        Event never(Event::Reset::Manual);
        EXPECT_EQ(waitForAny({&never, &quick.exitWaitable()}, 5s), 1u);
        const auto exited = quick.waitExit(1s);
        ASSERT_TRUE(exited.has_value());
        EXPECT_TRUE(WIFEXITED(*exited) && WEXITSTATUS(*exited) == 3);
    }
}

// Letting go of the watch while the child runs never waits for the child.
TEST(ChildProcessTest, WatchEndsPromptlyWhileTheChildRunsWithoutAWatcher)
{
    for (const auto& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        InjectedFaults faults(c.faults);
        pid_t pid = 0;
        char sleep[] = "sleep", seconds[] = "30";
        char* argv[] = {sleep, seconds, nullptr};
        ASSERT_EQ(::posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ), 0);
        auto watch = std::make_unique<ProcessExit>(pid);
        auto release = std::async(std::launch::async, [&] { watch.reset(); });
        const bool prompt = release.wait_for(2s) == std::future_status::ready;
        ::kill(pid, SIGKILL); // also frees a watch stuck waiting for the child
        release.wait();
        EXPECT_TRUE(prompt);
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    }
}
