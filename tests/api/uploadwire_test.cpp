// The upload as the service sees it: the progress follows the bytes the
// service has received, and every exchange ends within its overall limit.

#include "api/endpoints.h"
#include "api/signin.h"
#include "api/uploadcall.h"
#include "core/logfile.h"
#include "devserver/devserverprocess.h"
#include "platform/internet.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace quaylet;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// When each percentage was shown, counted from the upload's start.
class TimedObserver final : public IUploadObserver {
  public:
    void setProgressMaximum(int) override {}
    void setProgressPosition(int percentage) override { shown.push_back({Clock::now() - start, percentage}); }
    void setStatusTextLimited(const std::string&) override {}
    void setStatusText(const std::string&) override {}
    bool cancelRequested() const override { return false; }

    // When the percentage first reached the value; the end when it never did.
    Clock::duration firstAt(int percentage) const
    {
        for (const auto& [when, p] : shown)
            if (p >= percentage)
                return when;
        return Clock::duration::max();
    }

    Clock::time_point start = Clock::now();
    std::vector<std::pair<Clock::duration, int>> shown;
};

class UploadWireTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        OpenLog("Quaylet.log");
        m_before = platform::DefaultInternetTimeouts();
    }
    void TearDown() override
    {
        platform::SetDefaultInternetTimeouts(m_before);
        ::unsetenv(kServiceUrlVariable);
    }
    static void limits(std::chrono::milliseconds overall, uint64_t slowestBodyRate)
    {
        platform::InternetTimeouts t;
        t.connect = 5000ms;
        t.noProgress = 5000ms;
        t.overall = overall;
        t.slowestBodyRate = slowestBodyRate;
        platform::SetDefaultInternetTimeouts(t);
    }
    // A development service with the fault, where the requests now go.
    std::unique_ptr<test::DevServerProcess> serve(const std::string& fault)
    {
        auto server =
            std::make_unique<test::DevServerProcess>(test::SandboxPath("data" + std::to_string(++m_served)),
                                                     std::vector<std::string>{"--fault", fault});
        ::setenv(kServiceUrlVariable, server->origin().c_str(), 1);
        return server;
    }
    // A photo of `bytes` bytes.
    static int uploadPhoto(TimedObserver& observer, std::size_t bytes = 200000)
    {
        const std::string path = test::SandboxPath("photo.jpg");
        test::WriteFile(path, std::string(bytes, 'p'));
        observer.start = Clock::now();
        return HTTPMethodUpload(observer, path, "alice", "wonderland", kMediaPhoto, 1262347445);
    }

  private:
    platform::InternetTimeouts m_before;
    int m_served = 0;
};

} // namespace

TEST_F(UploadWireTest, ProgressFollowsWhatTheServiceHasReceived)
{
    // About four seconds on the wire each: a body that the client hands over
    // at once, and one several times larger than what it stages at a time,
    // which it is still writing while most of the progress is shown.
    const struct {
        std::size_t bytes;
        const char* fault;
    } cases[] = {{200000, "rate=50000@Media.upload"}, {800000, "rate=200000@Media.upload"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes");
        // The overall limit of one second is stretched by the body at 8 KiB/s.
        limits(1000ms, 8 * 1024);
        const auto server = serve(c.fault);
        ASSERT_TRUE(server->running());
        TimedObserver observer;
        ASSERT_EQ(uploadPhoto(observer, c.bytes), 1) << test::ReadFile("Quaylet.log");

        std::set<int> between;
        for (std::size_t i = 1; i < observer.shown.size(); ++i) {
            EXPECT_GE(observer.shown[i].second, observer.shown[i - 1].second) << "the percentage fell";
            if (observer.shown[i].second > 0 && observer.shown[i].second < 100)
                between.insert(observer.shown[i].second);
        }
        EXPECT_GE(between.size(), 8u);
        // Half the body is on the service's side after about two seconds, not
        // at once; ninety per cent after well over three.
        EXPECT_GT(observer.firstAt(50), 1200ms);
        EXPECT_LT(observer.firstAt(50), 3500ms);
        EXPECT_GT(observer.firstAt(90), 2800ms);
        EXPECT_EQ(observer.shown.back().second, 100);
    }
}

TEST_F(UploadWireTest, TricklingServiceIsCutOffByTheOverallLimit)
{
    // A link slower than the slowest rate allowed for the body: the upload
    // gives up at the limit instead of running its four seconds.
    limits(1000ms, 1024 * 1024);
    const auto server = serve("rate=50000@Media.upload");
    ASSERT_TRUE(server->running());
    TimedObserver observer;
    EXPECT_EQ(uploadPhoto(observer), -8);
    EXPECT_LT(Clock::now() - observer.start, 3s);
    EXPECT_GT(Clock::now() - observer.start, 900ms);

    // A small call whose request the service reads at 100 bytes a second.
    const auto slowSignIn = serve("rate=100@User.login");
    ASSERT_TRUE(slowSignIn->running());
    std::string errorText;
    const auto start = Clock::now();
    EXPECT_EQ(HTTPMethodLogin("alice", "b6263bb14858294c08e4bdfceba90363e10d72b4", errorText), -4);
    EXPECT_LT(Clock::now() - start, 3s);
}
