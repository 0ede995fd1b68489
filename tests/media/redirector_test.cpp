#include "media/convertorsredirector.h"
#include "media/redirector.h"

#include "clips.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using quaylet::ChildCommand;
using quaylet::CRedirector;
using quaylet::test::ChildrenOfThisProcess;
using quaylet::test::ProcessAlive;

namespace {

constexpr const char* kEnded = "\r\n<TEST INFO>: Child process ended\r\n";

// What the handlers received; shared so that it outlives a runner whose
// reader thread was cut off.
struct Received {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> chunks; // each as passed, up to its terminator
    std::vector<size_t> lengths;     // strlen of each chunk
    std::vector<std::string> errors;
    bool ended = false;

    std::string output()
    {
        std::lock_guard lock(mutex);
        std::string all;
        for (const auto& c : chunks)
            if (c != kEnded)
                all += c;
        return all;
    }
    bool waitEnded(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return ended; });
    }
};

class Recorder : public CRedirector {
public:
    explicit Recorder(std::shared_ptr<Received> r) : m_received(std::move(r)) {}
    ~Recorder() override { Shutdown(); }

protected:
    void OnChildOutput(const char* text) override
    {
        {
            std::lock_guard lock(m_received->mutex);
            m_received->chunks.emplace_back(text);
            m_received->lengths.push_back(std::strlen(text));
            if (std::strcmp(text, kEnded) == 0)
                m_received->ended = true;
        }
        m_received->changed.notify_all();
    }
    void OnRunnerError(const char* text) override
    {
        std::lock_guard lock(m_received->mutex);
        m_received->errors.emplace_back(text);
    }

private:
    std::shared_ptr<Received> m_received;
};

ChildCommand shell(const std::string& script)
{
    return {"sh -c \"" + script + "\"", {"sh", "-c", script}};
}

} // namespace

TEST(Redirector, MissingProgramReportsFileNotFoundAndLeavesNothingRunning)
{
    auto received = std::make_shared<Received>();
    Recorder runner(received);
    EXPECT_FALSE(runner.StartCommand({"no-such-encoder-here -i x", {"no-such-encoder-here", "-i", "x"}}));
    EXPECT_EQ(errno, 2);
    ASSERT_EQ(received->errors.size(), 1u);
    EXPECT_EQ(received->errors[0], "Redirect console error: 2\r\n");
    EXPECT_EQ(runner.childProcess(), nullptr);
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Redirector, ThousandBytesArriveInTerminatedChunksOfAtMost255)
{
    auto received = std::make_shared<Received>();
    Recorder runner(received);
    // One write of 1000 bytes (stdio flushes its buffer once, at exit).
    ASSERT_TRUE(runner.StartCommand(shell("printf '%01000d' 0")));
    ASSERT_TRUE(received->waitEnded(5s));
    runner.Shutdown();
    EXPECT_EQ(received->output(), std::string(1000, '0'));
    std::lock_guard lock(received->mutex);
    ASSERT_GE(received->chunks.size(), 5u); // 4 chunks at least, then the notice
    for (size_t i = 0; i < received->chunks.size(); ++i) {
        EXPECT_LE(received->lengths[i], 255u);
        EXPECT_EQ(received->lengths[i], received->chunks[i].size());
    }
    EXPECT_EQ(received->chunks.back(), kEnded);
}

TEST(Redirector, SilentChildGivesOnlyTheEndNotice)
{
    auto received = std::make_shared<Received>();
    Recorder runner(received);
    ASSERT_TRUE(runner.StartCommand(shell("exit 0")));
    ASSERT_TRUE(received->waitEnded(5s));
    runner.Shutdown();
    std::lock_guard lock(received->mutex);
    EXPECT_EQ(received->chunks, std::vector<std::string>{kEnded});
    EXPECT_TRUE(received->errors.empty());
}

TEST(Redirector, OutputAndErrorArriveMergedInOrderAndStdinIsAnOpenPipe)
{
    auto received = std::make_shared<Received>();
    Recorder runner(received);
    ASSERT_TRUE(runner.StartCommand(
        shell("echo one; sleep 0.05; echo two >&2; sleep 0.05; echo three; test -p /dev/stdin && echo pipe")));
    ASSERT_TRUE(received->waitEnded(5s));
    EXPECT_EQ(received->output(), "one\ntwo\nthree\npipe\n");
}

TEST(Redirector, ShutdownBeforeStartTwiceAndBetweenRuns)
{
    auto received = std::make_shared<Received>();
    Recorder runner(received);
    runner.Shutdown();
    runner.Shutdown();
    ASSERT_TRUE(runner.StartCommand(shell("echo first")));
    ASSERT_TRUE(received->waitEnded(5s));
    // Let the reader finish on its own, then shut down twice more.
    std::this_thread::sleep_for(200ms);
    runner.Shutdown();
    runner.Shutdown();
    received->ended = false;
    ASSERT_TRUE(runner.StartCommand(shell("echo second")));
    ASSERT_TRUE(received->waitEnded(5s));
    EXPECT_EQ(received->output(), "first\nsecond\n");
}

TEST(Redirector, OwnerAndReaderShuttingDownAtOnceIsSafe)
{
    // A handler that shuts the runner down from the reader thread, raced by the owner.
    struct SelfStopping : CRedirector {
        std::atomic<int> calls{0};
        ~SelfStopping() override { Shutdown(); }
        void OnChildOutput(const char*) override
        {
            ++calls;
            Shutdown();
        }
    };
    for (int i = 0; i < 20; ++i) {
        SelfStopping runner;
        ASSERT_TRUE(runner.StartCommand(shell("echo x; sleep 0.2; echo y")));
        std::thread owner([&] { runner.Shutdown(); });
        runner.Shutdown();
        owner.join();
    }
    std::this_thread::sleep_for(300ms);
    // The children (sleeping shells) are stopped once nobody holds them.
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(Redirector, ShutdownStopsTheReaderPromptlyEvenWhileTheChildFloodsOrSleeps)
{
    for (const char* script : {"yes flood", "sleep 30"}) {
        auto received = std::make_shared<Received>();
        {
            Recorder runner(received);
            ASSERT_TRUE(runner.StartCommand(shell(script)));
            std::this_thread::sleep_for(300ms);
            const auto start = std::chrono::steady_clock::now();
            runner.Shutdown();
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << script;
        }
        std::lock_guard lock(received->mutex);
        EXPECT_TRUE(received->errors.empty()) << script;
        for (size_t length : received->lengths)
            EXPECT_LE(length, 255u);
    }
    // Nobody holds the children any more: they are stopped and reaped.
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

namespace {
// The state of the stuck handler below; global, because the handler may run
// on after its runner is destroyed.
struct Stuck {
    std::mutex mutex;
    std::condition_variable changed;
    bool inHandler = false;
    bool returned = false;
    std::string firstChunk;
    int callsAfterReturn = 0;
};
std::shared_ptr<Stuck> g_stuck;

struct Blocking : CRedirector {
    std::shared_ptr<Received> received = std::make_shared<Received>();
    ~Blocking() override { Shutdown(); }
    void OnChildOutput(const char* text) override
    {
        std::shared_ptr<Stuck> s = g_stuck;
        {
            std::lock_guard lock(s->mutex);
            if (s->returned) {
                ++s->callsAfterReturn;
                return;
            }
            s->inHandler = true;
            s->firstChunk = text;
        }
        s->changed.notify_all();
        std::this_thread::sleep_for(6s);
        std::lock_guard lock(s->mutex);
        s->returned = true;
        s->changed.notify_all();
    }
    void OnRunnerError(const char* text) override
    {
        std::lock_guard lock(received->mutex);
        received->errors.emplace_back(text);
    }
};
} // namespace

TEST(Redirector, ReaderStuckInHandlerIsCutOffAfter5SecondsAndTheGroupStopped)
{
    g_stuck = std::make_shared<Stuck>();
    auto& stuck = g_stuck;
    std::shared_ptr<Received> received;
    pid_t grandchild = 0;
    {
        Blocking runner;
        received = runner.received;
        // The child starts a grandchild in its group, names it, then keeps writing.
        ASSERT_TRUE(runner.StartCommand(shell("sleep 60 & echo $!; while :; do echo more; sleep 0.1; done")));
        {
            std::unique_lock lock(stuck->mutex);
            ASSERT_TRUE(stuck->changed.wait_for(lock, 5s, [&] { return stuck->inHandler; }));
            grandchild = static_cast<pid_t>(std::atoi(stuck->firstChunk.c_str()));
        }
        ASSERT_GT(grandchild, 0);
        EXPECT_TRUE(ProcessAlive(grandchild));

        const auto start = std::chrono::steady_clock::now();
        runner.Shutdown();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 4900ms);
        EXPECT_LT(took, 5900ms);
        std::lock_guard lock(received->mutex);
        EXPECT_EQ(received->errors, std::vector<std::string>{"The redir thread is dead\r\n"});
    }
    // The child's group is stopped at once.
    for (int i = 0; i < 50 && ProcessAlive(grandchild); ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ProcessAlive(grandchild));
    // The runner is gone while its reader is still inside the handler; once the
    // handler returns, nothing more is delivered.
    {
        std::unique_lock lock(stuck->mutex);
        ASSERT_TRUE(stuck->changed.wait_for(lock, 5s, [&] { return stuck->returned; }));
    }
    std::this_thread::sleep_for(500ms);
    {
        std::lock_guard lock(stuck->mutex);
        EXPECT_EQ(stuck->callsAfterReturn, 0);
    }
    // The reader has let go of the child, which is reaped.
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

namespace {
// A window whose first status text is held until the test lets it go, as a
// window thread that is busy elsewhere holds a blocking call.
struct HeldWindow final : quaylet::IWindowReactions {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false, returned = false;
    std::vector<std::string> texts;
    std::vector<int> positions;

    void sendMessage(quaylet::WindowMessage, int64_t) override {}
    void setProgressMaximum(int) override {}
    void showBalloon(const quaylet::Balloon&) override {}
    void setProgressPosition(int position) override
    {
        std::lock_guard lock(mutex);
        positions.push_back(position);
    }
    void setStatusText(const std::string& text) override
    {
        std::unique_lock lock(mutex);
        texts.push_back(text);
        if (entered)
            return;
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, 30s, [&] { return released; });
        returned = true;
        changed.notify_all();
    }
};
} // namespace

TEST(ConvertorsRedirector, WindowCallHeldPastTheCutOffReturnsIntoLiveStateAndStartsNoOther)
{
    auto window = std::make_shared<HeldWindow>();
    auto runner = std::make_unique<quaylet::CConvertorsRedirector>(window.get(), 120);
    // 50 % is shown at once, so the reader blocks in the status text.
    ASSERT_TRUE(runner->StartCommand(shell("echo 'Pos: 120.0s 900f (99%)'; sleep 30")));
    {
        std::unique_lock lock(window->mutex);
        ASSERT_TRUE(window->changed.wait_for(lock, 5s, [&] { return window->entered; }));
    }
    const auto start = std::chrono::steady_clock::now();
    runner.reset(); // cuts the reader off after 5000 ms, then frees the runner
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4900ms);

    {
        std::unique_lock lock(window->mutex);
        window->released = true;
        window->changed.notify_all();
        ASSERT_TRUE(window->changed.wait_for(lock, 5s, [&] { return window->returned; }));
    }
    // The reader lets go of the child (stopped at the cut-off) when it ends.
    for (int i = 0; i < 250 && !ChildrenOfThisProcess().empty(); ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
    std::lock_guard lock(window->mutex);
    EXPECT_EQ(window->texts, std::vector<std::string>{"Encoding: 50%"});
    EXPECT_TRUE(window->positions.empty()) << "a window call started after the runner was gone";
}
