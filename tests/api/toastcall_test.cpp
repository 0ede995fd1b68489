#include "api/endpoints.h"
#include "api/toastcall.h"
#include "devserver/devserverprocess.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quaylet;

namespace {

// Starts the development service with the given notification section.
struct ToastService {
    explicit ToastService(const std::string& toastSection)
    {
        const std::string config = test::SandboxPath("toast.conf");
        test::WriteFile(config, "[account alice]\npassword = wonderland\n" + toastSection);
        server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"),
                                                          std::vector<std::string>{"--config", config});
        ::setenv(kServiceUrlVariable, server->origin().c_str(), 1);
    }
    std::unique_ptr<test::DevServerProcess> server;
};

} // namespace

TEST(ToastCallTest, FullNotificationFillsEveryField)
{
    ToastService service("[toast]\ntitle = Spring sale\nname = Glimmerly\nmessage = Two months\n"
                         "href = /premiumupgrade.html\npicture = \npoll = 60\n");
    ASSERT_TRUE(service.server->running());
    ToastRecord record;
    ASSERT_EQ(HTTPMethodGetToast("alice", record), 1) << service.server->errorOutput();
    EXPECT_EQ(record.title, "Spring sale");
    EXPECT_EQ(record.name, "Glimmerly");
    EXPECT_EQ(record.message, "Two months");
    EXPECT_NE(record.link.find("/premiumupgrade.html"), std::string::npos);
    EXPECT_NE(record.imageAddress.find("/toast/"), std::string::npos);
    EXPECT_EQ(record.pollPeriod, 60);
    EXPECT_NE(record.reply.find("<toast"), std::string::npos);
}

TEST(ToastCallTest, TitleWithoutPollLeavesThePeriodOpen)
{
    ToastService service("[toast]\ntitle = 45 new photos\npoll =\n");
    ToastRecord record;
    record.pollPeriod = 30;
    ASSERT_EQ(HTTPMethodGetToast("alice", record), 1);
    EXPECT_EQ(record.title, "45 new photos");
    EXPECT_FALSE(record.pollPeriod.has_value()) << "no number is read out of the title";
}

TEST(ToastCallTest, NoNotificationOrNoServiceLeavesTheRecordAlone)
{
    ToastService service("");
    ToastRecord record;
    record.title = "kept";
    record.reply = "kept too";
    record.pollPeriod = 30;
    EXPECT_EQ(HTTPMethodGetToast("alice", record), -4);
    EXPECT_EQ(record.title, "kept");
    EXPECT_EQ(record.reply, "kept too");
    EXPECT_EQ(record.pollPeriod, 30);

    service.server->terminate();
    EXPECT_EQ(HTTPMethodGetToast("alice", record), -4);
    EXPECT_EQ(record.title, "kept");
}
