#include "support/recordingwindowreactions.h"
#include "transfer/windowcallmarshal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

using namespace quaylet;

namespace {

// The window's side: remembers what it was told and on which thread.
class WindowSide final : public IWindowReactions {
public:
    void sendMessage(WindowMessage message, int64_t parameter) override
    {
        note();
        recorder.sendMessage(message, parameter);
    }
    void setProgressPosition(int position) override
    {
        note();
        recorder.setProgressPosition(position);
    }
    void setProgressMaximum(int maximum) override
    {
        note();
        recorder.setProgressMaximum(maximum);
    }
    void setStatusText(const std::string& text) override
    {
        note();
        recorder.setStatusText(text);
    }
    void showBalloon(const Balloon& balloon) override
    {
        note();
        recorder.showBalloon(balloon);
    }

    CRecordingWindowReactions recorder;
    std::atomic<int> offThread{0};
    std::atomic<int> handled{0};

private:
    void note()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++offThread;
        ++handled;
    }
};

// Runs the window thread's event loop until done is true.
void pumpUntil(const std::atomic<bool>& done)
{
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

TEST(WindowCallMarshalTest, CallsFromOtherThreadsRunOnTheWindowThreadSynchronouslyAndInOrder)
{
    platform::Event quit(platform::Event::Reset::Manual);
    WindowSide window;
    CWindowCallMarshal marshal(quit);
    CMarshalledWindowReactions reactions(window, marshal);

    std::atomic<bool> done{false};
    std::atomic<int> notYetHandled{0};
    std::thread transfer([&] {
        for (int i = 0; i < 200; ++i) {
            reactions.sendMessage(kMsgTransferState, i);
            // Sent, not posted: the window has handled it when the call returns.
            if (window.handled != 2 * i + 1)
                ++notYetHandled;
            reactions.setStatusText("step " + std::to_string(i));
        }
        reactions.showBalloon(Balloon{"t", "x", BalloonIcon::Warning, 5000, 8000});
        done = true;
    });
    pumpUntil(done);
    transfer.join();

    EXPECT_EQ(notYetHandled, 0);
    EXPECT_EQ(window.offThread, 0);
    const auto messages = window.recorder.messages();
    ASSERT_EQ(messages.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(messages[static_cast<std::size_t>(i)].second, i);
    const auto all = window.recorder.reactions();
    ASSERT_EQ(all.size(), 401u);
    EXPECT_EQ(all[399].text, "step 199");
    EXPECT_EQ(all[400].balloon.title, "t");
}

TEST(WindowCallMarshalTest, TheQuitEventReleasesACallTheWindowNeverRuns)
{
    platform::Event quit(platform::Event::Reset::Manual);
    WindowSide window;
    CWindowCallMarshal marshal(quit);
    CMarshalledWindowReactions reactions(window, marshal);

    // The window thread is busy (here: it waits for the transfer thread without
    // dispatching), so the call cannot run until quit releases it.
    platform::Event calling(platform::Event::Reset::Manual);
    std::atomic<bool> returned{false};
    std::thread transfer([&] {
        calling.set();
        reactions.sendMessage(kMsgTransferState, kStateUploaded);
        returned = true;
    });
    ASSERT_TRUE(calling.wait(std::chrono::seconds(10)));
    // Most likely the call is posted and waiting by now; the outcome must be the same either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    quit.set();
    transfer.join();
    EXPECT_TRUE(returned);

    // The abandoned call is dropped, and later calls return at once unrun.
    reactions.sendMessage(kMsgNextRow, 0); // on the window thread itself: runs directly
    std::thread late([&] { reactions.setStatusText("late"); });
    late.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.recorder.messages(), (std::vector<std::pair<WindowMessage, int64_t>>{{kMsgNextRow, 0}}));
    EXPECT_TRUE(window.recorder.statusTexts().empty());
}

TEST(WindowCallMarshalTest, DestroyingTheMarshalReleasesWaitingCallers)
{
    platform::Event quit(platform::Event::Reset::Manual);
    WindowSide window;
    auto marshal = std::make_unique<CWindowCallMarshal>(quit);
    CMarshalledWindowReactions reactions(window, *marshal);

    platform::Event calling(platform::Event::Reset::Manual);
    std::thread transfer([&] {
        calling.set();
        reactions.setProgressPosition(50);
    });
    ASSERT_TRUE(calling.wait(std::chrono::seconds(10)));
    // Give the call time to be posted; the outcome must be the same either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    marshal.reset();
    transfer.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.handled, 0);
    EXPECT_FALSE(quit.isSet());
}
