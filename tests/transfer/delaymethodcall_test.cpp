#include "transfer/delaymethodcall.h"
#include "support/recordingwindowreactions.h"
#include "transfer/xferuicaller.h"

#include <gtest/gtest.h>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

// A clock the test moves by hand.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
    CDelayMethodCall::Clock clock()
    {
        return [this] { return now; };
    }
};

struct Texts final : IDelayMethodCaller {
    void call(const std::string& text) override { seen.push_back(text); }
    std::vector<std::string> seen;
};

} // namespace

TEST(DelayMethodCallTest, AtMostOneTextPassesEveryFifthOfASecond)
{
    ManualClock clock;
    CDelayMethodCall limiter(clock.clock());
    Texts target;
    limiter.bind(&target);

    limiter.call("too early"); // the process has not run for 0.2 s yet
    clock.now += 150ms;
    limiter.call("still early");
    clock.now += 100ms; // 0.25 s since the start
    limiter.call("first");
    clock.now += 100ms;
    limiter.call("0.1 s later: dropped");
    clock.now += 150ms;
    limiter.call("0.25 s after the first");
    clock.now += 200ms;
    limiter.call("exactly 0.2 s later: dropped");
    EXPECT_EQ(target.seen, (std::vector<std::string>{"first", "0.25 s after the first"}));
}

TEST(DelayMethodCallTest, BindingResetsTheLastCallAndKeepsTheIntervalUnlessGiven)
{
    ManualClock clock;
    CDelayMethodCall limiter(clock.clock());
    EXPECT_DOUBLE_EQ(limiter.interval(), 0.2);
    Texts target;
    clock.now += 1s;
    limiter.call("no target yet"); // counts as a call all the same
    limiter.bind(&target, 0.0);
    EXPECT_DOUBLE_EQ(limiter.interval(), 0.2);
    limiter.call("after binding");
    limiter.bind(&target, 0.5);
    EXPECT_DOUBLE_EQ(limiter.interval(), 0.5);
    clock.now += 1s;
    limiter.call("a");
    clock.now += 300ms;
    limiter.call("within 0.5 s: dropped");
    EXPECT_EQ(target.seen, (std::vector<std::string>{"after binding", "a"}));
}

TEST(DelayMethodCallTest, StatusTextReachesTheWindowOnlyThroughABoundCaller)
{
    ManualClock clock;
    clock.now += 1s;
    CRecordingWindowReactions window;
    CXFerUpdaeUICaller nowhere(nullptr);
    CDelayMethodCall limiter(clock.clock());
    limiter.bind(&nowhere);
    limiter.call("Uploading: 10%"); // a caller without a window: the text goes nowhere
    EXPECT_TRUE(window.statusTexts().empty());

    CXFerUpdaeUICaller caller(&window);
    limiter.bind(&caller);
    clock.now += 1s;
    limiter.call("Uploading: 90%");
    clock.now += 50ms;
    limiter.call("Uploading: 95%"); // within 0.2 s: dropped
    EXPECT_EQ(window.statusTexts(), (std::vector<std::string>{"Uploading: 90%"}));
}
