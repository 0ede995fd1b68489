#include "core/settings.h"
#include "platform/tempdir.h"
#include "support/sandbox.h"
#include "transfer/notificationpoller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

class RecordingWindow final : public IWindowReactions {
public:
    void sendMessage(WindowMessage message, int64_t) override { messages.push_back(message); }
    void setProgressPosition(int) override {}
    void setProgressMaximum(int) override {}
    void setStatusText(const std::string&) override {}
    void showBalloon(const Balloon&) override {}
    std::vector<WindowMessage> messages;
};

// A service that answers every poll with the same notification.
struct FakeService {
    ToastRecord reply;
    int calls = 0;
    std::vector<std::pair<std::string, std::string>> downloads;
    std::optional<uint64_t> idle;

    NotificationPoller::Services services()
    {
        return {[this](ToastRecord& r) {
                    ++calls;
                    if (reply.title.empty())
                        return -4;
                    r.title = reply.title;
                    r.imageAddress = reply.imageAddress;
                    r.pollPeriod = reply.pollPeriod;
                    r.reply = reply.reply;
                    return 1;
                },
                [this](const std::string& address, const std::string& path) {
                    downloads.emplace_back(address, path);
                    test::WriteFile(path, "picture");
                    return true;
                },
                [this] { return idle; }};
    }
};

bool timerFiresWithin(platform::PeriodicTimer& timer, std::chrono::milliseconds within)
{
    return platform::waitForAny({&timer}, within).has_value();
}

} // namespace

TEST(NotificationPollerTest, NewNotificationIsDownloadedOnceAndReported)
{
    SetSettingInt(kSettingsSection, "ShowNotifications", 1);
    FakeService service;
    service.reply.title = "Hello";
    service.reply.imageAddress = "http://127.0.0.1/toast/pic.jpg";
    service.reply.reply = "<toast><title>Hello</title></toast>";
    service.reply.pollPeriod = 30;
    platform::PeriodicTimer timer;
    RecordingWindow window;
    NotificationPoller poller(timer, &window, service.services());

    poller.poll();
    ASSERT_EQ(service.downloads.size(), 1u);
    EXPECT_EQ(service.downloads[0].second, platform::TempPath() + "pic.jpg");
    EXPECT_EQ(poller.record().localImagePath, platform::TempPath() + "pic.jpg");
    EXPECT_TRUE(poller.record().plain);
    EXPECT_EQ(window.messages, std::vector<WindowMessage>{kMsgNotification});
    EXPECT_EQ(GetSettingString(kSettingsSection, "LastComment", ""), service.reply.reply);
    EXPECT_FALSE(timerFiresWithin(timer, 50ms)) << "the next poll is the interval away";

    poller.poll();
    EXPECT_EQ(service.calls, 2);
    EXPECT_EQ(service.downloads.size(), 1u) << "the same reply is handled once";
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST(NotificationPollerTest, WithNotificationsOffTheSameReplyIsHandledAgain)
{
    FakeService service;
    service.reply.title = "Brand NEW upload from a friend";
    service.reply.imageAddress = "pic2.png";
    service.reply.reply = "<toast/>";
    platform::PeriodicTimer timer;
    NotificationPoller poller(timer, nullptr, service.services());
    poller.poll();
    poller.poll();
    EXPECT_EQ(service.downloads.size(), 2u);
    EXPECT_FALSE(poller.record().plain) << "a NEW UPLOAD title in any case";
    EXPECT_EQ(service.downloads[0].second, platform::TempPath() + "pic2.png");
}

TEST(NotificationPollerTest, NewPollPeriodIsStoredAndPollsAgainAtOnce)
{
    FakeService service;
    service.reply.title = "t";
    service.reply.imageAddress = "a/b.jpg";
    service.reply.reply = "r";
    service.reply.pollPeriod = 60;
    platform::PeriodicTimer timer;
    NotificationPoller poller(timer, nullptr, service.services());
    EXPECT_EQ(poller.intervalMinutes(), 30);
    poller.poll();
    EXPECT_EQ(poller.intervalMinutes(), 60);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "NotificationPollInterval", 0), 60);
    EXPECT_TRUE(timerFiresWithin(timer, 100ms)) << "one immediate second poll";
    poller.poll();
    EXPECT_FALSE(timerFiresWithin(timer, 50ms));

    // No period in the reply keeps the interval; 0 or below means the default.
    service.reply.pollPeriod.reset();
    poller.poll();
    EXPECT_EQ(poller.intervalMinutes(), 60);
    service.reply.pollPeriod = 0;
    poller.poll();
    EXPECT_EQ(poller.intervalMinutes(), 30);
    EXPECT_EQ(NotificationPoller::IntervalFromSetting(-5), 30);
}

TEST(NotificationPollerTest, IdleUserIsNotAskedAndLooksAgainInAMinute)
{
    FakeService service;
    service.idle = 300001;
    platform::PeriodicTimer timer;
    NotificationPoller poller(timer, nullptr, service.services());
    poller.poll();
    EXPECT_EQ(service.calls, 0);
    EXPECT_TRUE(timer.isArmed());
    service.idle = 300000;
    poller.poll();
    EXPECT_EQ(service.calls, 1) << "exactly five minutes is not idle";
}

TEST(NotificationPollerTest, EmptyTitleOrUnsafePictureNameGivesNoNotification)
{
    FakeService service;
    service.reply.reply = "x";
    platform::PeriodicTimer timer;
    RecordingWindow window;
    NotificationPoller poller(timer, &window, service.services());
    poller.poll(); // no title: the call itself fails
    service.reply.title = "t";
    for (const char* address : {"http://h/", "http://h/..", "."}) {
        service.reply.imageAddress = address;
        service.reply.reply = address;
        poller.poll();
    }
    EXPECT_TRUE(service.downloads.empty());
    EXPECT_TRUE(window.messages.empty());
}
