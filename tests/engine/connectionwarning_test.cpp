// The connection checks after a drop, against the development service up and
// down, with the desktop's answer faked.

#include "engine/connectionwarning.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "devserver/devserverprocess.h"
#include "platform/loopbackserver.h"
#include "platform/events.h"
#include "support/sandbox.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkInformation>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

constexpr const char* kNoInternet = "CKestrelioClientDlg: No internet connection";
constexpr const char* kServerDown = "CKestrelioClientDlg: couldn't contact server";
constexpr const char* kGood = "CKestrelioClientDlg: Good connection to server...";

// What one object showed: its warnings and how many checks ended.
struct Seen {
    std::vector<Balloon> warnings;
    int checks = 0;
};

void record(CConnectionWarning& warning, Seen& seen)
{
    QObject::connect(&warning, &CConnectionWarning::warn, &warning,
                     [&seen](const Balloon& b) { seen.warnings.push_back(b); });
    QObject::connect(&warning, &CConnectionWarning::checked, &warning, [&seen] { ++seen.checks; });
}

// Runs this thread's events until `checks` checks have ended (at most 20 s).
bool waitForChecks(const Seen& seen, int checks)
{
    QElapsedTimer timer;
    timer.start();
    while (seen.checks < checks && timer.elapsed() < 20000) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return seen.checks >= checks;
}

// The log's lines from `from` on that are connection lines, in order.
std::vector<std::string> connectionLines(std::size_t from = 0)
{
    const std::string log = test::ReadFile("Quaylet.log").substr(from);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start + 24, end - start - 24);
        if (line == kNoInternet || line == kServerDown || line == kGood)
            lines.push_back(line);
    }
    return lines;
}

class ConnectionWarningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLogMirror(false);
        OpenLog("Quaylet.log");
    }
};

} // namespace

TEST_F(ConnectionWarningTest, TheDesktopsAnswerDecidesWhetherTheServiceIsAsked)
{
    struct Case {
        Reachability desktop;
        bool serviceUp;
        const char* line;
        std::string warningTitle; // empty: none
        BalloonIcon icon;
        bool serviceAsked;
    } cases[] = {
        {Reachability::Disconnected, true, kNoInternet, "Quaylet cannot connect to the Internet", BalloonIcon::Warning, false},
        {Reachability::Local, true, kNoInternet, "Quaylet cannot connect to the Internet", BalloonIcon::Warning, false},
        {Reachability::Site, true, kNoInternet, "Quaylet cannot connect to the Internet", BalloonIcon::Warning, false},
        {Reachability::Online, true, kGood, "", BalloonIcon::None, true},
        {Reachability::Unknown, true, kGood, "", BalloonIcon::None, true},
        {Reachability::Online, false, kServerDown, "Server under maintainance", BalloonIcon::Info, true},
        {Reachability::Unknown, false, kServerDown, "Server under maintainance", BalloonIcon::Info, true},
    };
    for (std::size_t what = 0; what < std::size(cases); ++what) {
        const Case& c = cases[what];
        const auto asked = std::make_shared<std::atomic<int>>(0);
        const std::size_t logBefore = test::ReadFile("Quaylet.log").size();
        CConnectionWarning warning({[&c] { return c.desktop; },
                                    [asked, up = c.serviceUp] {
                                        ++*asked;
                                        return up;
                                    }});
        Seen seen;
        record(warning, seen);
        warning.checkAfterDrop();
        ASSERT_TRUE(waitForChecks(seen, 1));
        EXPECT_EQ(connectionLines(logBefore), std::vector<std::string>{c.line}) << what;
        EXPECT_EQ(*asked > 0, c.serviceAsked) << what;
        if (c.warningTitle.empty()) {
            EXPECT_TRUE(seen.warnings.empty()) << what;
            EXPECT_TRUE(warning.warningArmed()) << what;
        } else {
            ASSERT_EQ(seen.warnings.size(), 1u) << what;
            const Balloon& b = seen.warnings[0];
            EXPECT_EQ(b.title, c.warningTitle);
            EXPECT_EQ(b.text, c.desktop == Reachability::Online || c.desktop == Reachability::Unknown
                                  ? "Please try again later"
                                  : "Please check your Internet connection and Firewall");
            EXPECT_EQ(b.icon, c.icon);
            EXPECT_EQ(b.timeoutMs, 10000);
            EXPECT_EQ(b.takeDownMs, 8000);
            EXPECT_FALSE(warning.warningArmed()) << what;
        }
    }
}

TEST_F(ConnectionWarningTest, WarnsOnceUntilAGoodConnectionToTheRealService)
{
    // The default service check, against the development service; the
    // desktop's answer is faked, since the test machine's is not ours to set.
    auto desktop = std::make_shared<std::atomic<Reachability>>(Reachability::Unknown);
    auto up = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"));
    ASSERT_TRUE(up->running());
    const std::string upOrigin = up->origin();
    auto down = std::make_unique<test::DevServerProcess>(test::SandboxPath("data2"));
    const std::string downOrigin = down->origin();
    down->terminate(); // its port is closed now

    CConnectionWarning warning({[desktop] { return desktop->load(); }, {}});
    Seen seen;
    record(warning, seen);
    const auto drop = [&](const std::string& origin, Reachability reachability) {
        ::setenv(kServiceUrlVariable, origin.c_str(), 1);
        desktop->store(reachability);
        warning.checkAfterDrop();
        return waitForChecks(seen, seen.checks + 1);
    };

    ASSERT_TRUE(drop(downOrigin, Reachability::Unknown));
    ASSERT_TRUE(drop(downOrigin, Reachability::Online));
    ASSERT_TRUE(drop(downOrigin, Reachability::Disconnected));
    ASSERT_EQ(seen.warnings.size(), 1u) << "one warning until a good connection, whichever check fails";
    EXPECT_EQ(seen.warnings[0].title, "Server under maintainance");
    EXPECT_FALSE(warning.warningArmed());

    ASSERT_TRUE(drop(upOrigin, Reachability::Unknown));
    EXPECT_TRUE(warning.warningArmed());
    ASSERT_TRUE(drop(upOrigin, Reachability::Disconnected));
    ASSERT_EQ(seen.warnings.size(), 2u);
    EXPECT_EQ(seen.warnings[1].title, "Quaylet cannot connect to the Internet");
    ASSERT_TRUE(drop(upOrigin, Reachability::Online));
    ASSERT_TRUE(drop(downOrigin, Reachability::Online));
    ASSERT_EQ(seen.warnings.size(), 3u);
    EXPECT_EQ(seen.warnings[2].title, "Server under maintainance");

    EXPECT_EQ(connectionLines(), (std::vector<std::string>{kServerDown, kServerDown, kNoInternet, kGood, kNoInternet,
                                                           kGood, kServerDown}));
}

TEST_F(ConnectionWarningTest, AStalledCheckDoesNotHoldUpTheCallerAndAnswersComeInOrder)
{
    auto release = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
    auto calls = std::make_shared<std::atomic<int>>(0);
    // The first drop's check stalls and then fails; the second's succeeds. In
    // order, the warning comes first and the good connection re-arms.
    CConnectionWarning warning({[] { return Reachability::Unknown; },
                                [release, calls] {
                                    if (++*calls == 1) {
                                        release->wait(20s);
                                        return false;
                                    }
                                    return true;
                                }});
    Seen seen;
    record(warning, seen);
    QElapsedTimer timer;
    timer.start();
    warning.checkAfterDrop();
    warning.checkAfterDrop();
    EXPECT_LT(timer.elapsed(), 1000) << "the drop waited for the check";
    release->set();
    ASSERT_TRUE(waitForChecks(seen, 2));
    EXPECT_EQ(seen.warnings.size(), 1u);
    EXPECT_TRUE(warning.warningArmed()) << "the answers were handled out of order";
}

TEST_F(ConnectionWarningTest, AnswersAfterTheObjectIsGoneAreDropped)
{
    Seen seen;
    const auto runEvents = [] {
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    };

    // An answer that was posted but not yet handled when the object went.
    auto answered = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
    {
        CConnectionWarning warning({[] { return Reachability::Unknown; },
                                    [answered] {
                                        answered->set();
                                        return false;
                                    }});
        record(warning, seen);
        warning.checkAfterDrop();
        ASSERT_TRUE(answered->wait(20s));
        std::this_thread::sleep_for(50ms); // the worker posts right after the check
    }
    runEvents();

    // A check that ignores the stop and outlasts the destructor's wait: the
    // object goes without it, and its late answer reaches nothing.
    auto release = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
    auto late = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
    {
        CConnectionWarning warning({[] { return Reachability::Unknown; },
                                    [release, late] {
                                        release->wait(20s);
                                        late->set();
                                        return false;
                                    }});
        record(warning, seen);
        warning.checkAfterDrop();
        std::this_thread::sleep_for(50ms);
    }
    release->set();
    ASSERT_TRUE(late->wait(20s));
    std::this_thread::sleep_for(50ms);
    runEvents();
    EXPECT_EQ(seen.checks, 0);
    EXPECT_TRUE(connectionLines().empty());
}

TEST_F(ConnectionWarningTest, AStalledServiceIsLeftAtOnceWhenTheObjectGoes)
{
    // A site that takes the connection and never answers the TLS handshake:
    // the real service check would wait out its whole time-out.
    auto stop = std::make_shared<std::atomic<bool>>(false);
    test::LoopbackServer server([stop](int) {
        while (!*stop)
            std::this_thread::sleep_for(10ms);
    });
    ::setenv(kServiceUrlVariable, ("https://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    Seen seen;
    QElapsedTimer timer;
    {
        CConnectionWarning warning({[] { return Reachability::Unknown; }, {}});
        record(warning, seen);
        timer.start();
        warning.checkAfterDrop();
        EXPECT_LT(timer.elapsed(), 1000) << "the drop waited for the check";
        std::this_thread::sleep_for(300ms);
        timer.restart();
    }
    // Well under the check's own time-out, with room for a sanitizer build
    // on a busy machine.
    EXPECT_LT(timer.elapsed(), kServiceCheckTimeout.count() / 2) << "the destructor waited for the stalled check";
    *stop = true;
    EXPECT_EQ(seen.checks, 0);
}

TEST_F(ConnectionWarningTest, TheDefaultChecksAskTheDesktopAndThenTheService)
{
    auto service = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"));
    ASSERT_TRUE(service->running());
    ::setenv(kServiceUrlVariable, service->origin().c_str(), 1);
    CConnectionWarning warning;
    Seen seen;
    record(warning, seen);
    warning.checkAfterDrop();
    ASSERT_TRUE(waitForChecks(seen, 1));
    // Where the desktop has a network backend, its answer comes first.
    const QNetworkInformation* desktop = QNetworkInformation::instance();
    const bool desktopLetsThrough = desktop == nullptr ||
                                    desktop->reachability() == QNetworkInformation::Reachability::Online ||
                                    desktop->reachability() == QNetworkInformation::Reachability::Unknown;
    EXPECT_EQ(connectionLines(), std::vector<std::string>{desktopLetsThrough ? kGood : kNoInternet});
}
