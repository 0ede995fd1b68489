// The window's engine against a service that stops answering or answers a
// byte now and then. The network's limits are the product's own, shortened
// through its defaults so that three attempts fit in seconds: the upload must
// end by its limits, never wait for the service.

#include "engine/enginetestsupport.h"

#include "core/logfile.h"
#include "credentials/profile.h"
#include "devserver/devserverprocess.h"
#include "platform/internet.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

class EngineTimeoutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = platform::DefaultInternetTimeouts();
        OpenLog("Quaylet.log");
    }
    void TearDown() override { platform::SetDefaultInternetTimeouts(saved); }

    platform::InternetTimeouts saved;
};

} // namespace

TEST_F(EngineTimeoutsTest, StalledOrTricklingRepliesEndByTheLimits)
{
    struct Case {
        const char* name;
        std::string fault;
        platform::InternetTimeouts limits;
        std::chrono::milliseconds perAttempt; // what the limits allow one attempt, with room
    } cases[] = {
        // Nothing moves after the body: the no-progress limit ends it.
        {"stalled reply", "delay=60000@Media.upload", {5000ms, 1000ms, 60000ms, 8 * 1024}, 3000ms},
        // A byte a second never trips the no-progress limit: only the overall
        // deadline (here 2 s plus a moment for the body) ends it.
        {"trickling reply", "trickle=1@Media.upload", {5000ms, 30000ms, 2000ms, 1024 * 1024}, 4000ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SetDefaultInternetTimeouts(c.limits);
        const std::string config = test::SandboxPath("service.conf");
        test::WriteFile(config, "[account alice]\npassword = wonderland\n");
        test::DevServerProcess server(test::SandboxPath(std::string("data-") + c.name),
                                      {"--config", config, "--fault", c.fault});
        ASSERT_TRUE(server.running());
        test::UseService(server.origin());
        CurrentProfile() = CProfile("alice", "wonderland");

        test::RecordingView view;
        TransferEngineOptions options;
        options.pollNotifications = false;
        options.renameJournalDirectory = test::SandboxPath("journal");
        TransferEngine engine(view, std::move(options));
        test::RecordOutcomes(engine, view);
        engine.start();
        const std::string photo = test::MakePhoto(test::SandboxPath(std::string("in/") + c.name + ".jpg"), 640, 480);
        const std::string bytes = test::ReadFile(photo);
        const std::size_t logBefore = test::ReadFile("Quaylet.log").size();

        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(test::RunBatch(engine, view, {photo}, 1, 3 * c.perAttempt + 10s));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3 * c.perAttempt + 5s);
        {
            std::lock_guard lock(view.mutex);
            EXPECT_EQ(view.outcomes, (std::vector<std::pair<std::string, int>>{{photo, -8}}));
        }
        const std::string log = test::ReadFile("Quaylet.log").substr(logBefore);
        EXPECT_EQ(test::CountOf(log, "HTTPMethodUpload: Exception :"), 3) << log;
        EXPECT_EQ(test::ReadFile(photo), bytes);
        EXPECT_TRUE(engine.stop(2000ms));
    }
}
