// The real client with the desktop parts a user has: a window manager, an
// XEmbed tray host and a notification service. What the seams of the other
// window tests cannot show: which window the window manager stacks on top,
// and whether the tray's own windows still take clicks while a dialog runs.

#include "support/xcbdisplay.h"
#include "window/realdesktop.h"

#include <gtest/gtest.h>

#include <thread>

namespace quaylet::test {

namespace {

using namespace std::chrono_literals;

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr int kReturnBarY = 453; // the upload-completed picture's bar

bool IsWindowSized(const XWindow& window)
{
    return window.viewable && window.width == kWindowWidth && window.height == kWindowHeight;
}

bool IsTrayIcon(const XWindow& window)
{
    return window.viewable && window.width <= 64 && window.height <= 64;
}

class RealDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XcbUnavailable().empty())
            GTEST_SKIP() << XcbUnavailable();
        if (!desktop.unavailable().empty())
            GTEST_SKIP() << desktop.unavailable();
    }


    // The drop window, once the client shows it.
    XWindow MainWindow()
    {
        std::optional<XWindow> main;
        WaitFor([&] { return (main = FindWindow(IsWindowSized)).has_value(); }, 20s);
        return main.value_or(XWindow{});
    }

    // A viewable window of the client other than those named.
    std::optional<XWindow> OtherWindow(const std::vector<unsigned long>& known,
                                       const std::function<bool(const XWindow&)>& match, std::chrono::milliseconds wait)
    {
        std::optional<XWindow> found;
        WaitFor(
            [&] {
                found = FindWindow([&](const XWindow& w) {
                    return w.viewable && std::find(known.begin(), known.end(), w.id) == known.end() && match(w);
                });
                return found.has_value();
            },
            wait);
        return found;
    }

    bool Viewable(unsigned long id)
    {
        const auto window = FindWindow([id](const XWindow& w) { return w.id == id; });
        return window && window->viewable;
    }

    // Ends the upload-completed dialog as a user does: a click on its bar
    // that reads Return to Upload Screen.
    void ReturnToUpload(const XWindow& dialog)
    {
        Click(dialog.x + kWindowWidth / 2, dialog.y + kReturnBarY);
    }

    // A new browser launch for the account page since `before` launches.
    bool AccountPageOpened(std::size_t before)
    {
        return WaitFor(
            [&] {
                const std::vector<std::string> launches = desktop.BrowserLaunches();
                for (std::size_t i = before; i < launches.size(); ++i)
                    if (launches[i].ends_with("/" + desktop.user()))
                        return true;
                return false;
            },
            5s);
    }

    RealDesktop desktop;
};

} // namespace

// Every dialog opened from the always-on-top drop window comes above it, and
// the window takes input again once the dialog has gone.
TEST_F(RealDesktopTest, DialogsComeAboveTheAlwaysOnTopWindow)
{
    desktop.startWindowManager();
    if (!desktop.unavailable().empty())
        GTEST_SKIP() << desktop.unavailable();
    desktop.runClient();
    const XWindow main = MainWindow();
    ASSERT_NE(main.id, 0u) << desktop.ClientLog();

    struct Case {
        const char* name;
        int downs; // the command's place in the window menu (Add Files... comes first)
        int width;
        int height = 0;
    };
    // The history window is as wide as the screen allows; its height tells it apart.
    for (const Case& c : {Case{"Upload History", 8, 0, 420}, Case{"About", 9, 360}, Case{"Logout question", 2, 0}}) {
        SCOPED_TRACE(c.name);
        // The window menu by a right click inside the window, then the command by keyboard.
        Click(main.x + 320, main.y + 240, 3);
        std::this_thread::sleep_for(300ms);
        std::vector<std::string> keys(static_cast<std::size_t>(c.downs), "Down");
        keys.push_back("Return");
        Keys(keys);
        const auto dialog = OtherWindow(
            {main.id},
            [&](const XWindow& w) {
                return w.width > 64 && (c.width == 0 || w.width == c.width) && (c.height == 0 || w.height == c.height);
            },
            10s);
        ASSERT_TRUE(dialog.has_value());
        EXPECT_TRUE(WaitFor([&] { return StackedAbove(dialog->id, main.id); }, 3s))
            << "the dialog is stacked below the drop window";

        RunTool("xdotool", {"windowactivate", "--sync", std::to_string(dialog->id)});
        RunTool("xdotool", {"key", "Escape"});
        EXPECT_TRUE(WaitFor([&] { return !Viewable(dialog->id); }, 5s));
    }
    // Not blocked: the window's menu opens again.
    Click(main.x + 320, main.y + 240, 3);
    EXPECT_TRUE(OtherWindow({main.id}, [](const XWindow& w) { return w.width > 64 && w.height < 400; }, 5s))
        << "the drop window no longer takes clicks";
    Keys({"Escape"});
    EXPECT_TRUE(desktop.clientRunning());
}

// On an XEmbed tray the icon, its menu and its balloons keep working while the
// upload-completed dialog shows; the success balloon goes at its take-down
// time, and its click opens the account page.
TEST_F(RealDesktopTest, TrayStaysLiveWhileTheUploadCompletedDialogShows)
{
    desktop.startWindowManager();
    desktop.startTrayHost();
    if (!desktop.unavailable().empty())
        GTEST_SKIP() << desktop.unavailable();
    desktop.runClient();
    const XWindow main = MainWindow();
    ASSERT_NE(main.id, 0u) << desktop.ClientLog();
    desktop.runClient({desktop.MakePhoto("first.jpg")});
    std::optional<XWindow> icon;
    ASSERT_TRUE(WaitFor([&] { return (icon = FindWindow(IsTrayIcon)).has_value(); }, 10s)) << "no tray icon";
    const int iconX = icon->x + icon->width / 2;
    const int iconY = icon->y + icon->height / 2;

    // The first batch of a machine that has been up a while opens the e-mail
    // page (no balloon), then the dialog takes the window's place.
    const auto findDialog = [&] { return OtherWindow({main.id}, IsWindowSized, 30s); };
    std::optional<XWindow> dialog = findDialog();
    ASSERT_TRUE(dialog.has_value()) << desktop.ClientLog();

    // The dialog's shown flag starts false: the first click fronts it, the
    // second hides it, the third shows it again.
    Click(iconX, iconY);
    std::this_thread::sleep_for(300ms);
    Click(iconX, iconY);
    EXPECT_TRUE(WaitFor([&] { return !Viewable(dialog->id); }, 5s)) << "tray clicks do not reach the client";
    Click(iconX, iconY);
    EXPECT_TRUE(WaitFor([&] { return Viewable(dialog->id); }, 5s));
    ReturnToUpload(*dialog);
    ASSERT_TRUE(WaitFor([&] { return Viewable(main.id); }, 10s));

    // The next batch: the "Upload Successful!" balloon over the dialog, taken
    // down after its 5 s although it asked the tray for 10 s.
    const auto balloonMatch = [&](const XWindow& w) {
        return !IsTrayIcon(w) && !IsWindowSized(w) && w.width > 64 && w.height < 300;
    };
    desktop.runClient({desktop.MakePhoto("second.jpg")});
    dialog = findDialog();
    ASSERT_TRUE(dialog.has_value());
    std::optional<XWindow> balloon = OtherWindow({main.id, dialog->id, icon->id}, balloonMatch, 5s);
    ASSERT_TRUE(balloon.has_value()) << "no balloon";
    const auto shownAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return !Viewable(balloon->id); }, 7s));
    EXPECT_LT(std::chrono::steady_clock::now() - shownAt, 7s) << "the balloon outlived its take-down";
    ReturnToUpload(*dialog);
    ASSERT_TRUE(WaitFor([&] { return Viewable(main.id); }, 10s));

    // And once more, clicked: the account page, while the dialog runs.
    desktop.runClient({desktop.MakePhoto("third.jpg")});
    dialog = findDialog();
    ASSERT_TRUE(dialog.has_value());
    balloon = OtherWindow({main.id, dialog->id, icon->id}, balloonMatch, 5s);
    ASSERT_TRUE(balloon.has_value()) << "no balloon";
    const std::size_t launches = desktop.BrowserLaunches().size();
    Click(balloon->x + balloon->width / 2, balloon->y + balloon->height / 2);
    EXPECT_TRUE(AccountPageOpened(launches)) << "the balloon's click went nowhere";

    // The tray menu: all greyed but Exit, so the first item the keyboard
    // reaches is Exit, which ends the dialog and then the client.
    Click(iconX, iconY, 3);
    std::this_thread::sleep_for(500ms);
    Keys({"Down", "Return"});
    EXPECT_TRUE(desktop.client().waitForFinished(15000)) << "the tray menu did not exit";
    // Its way out, whatever a leak checker adds to the exit code of a sanitizer build.
    EXPECT_EQ(desktop.client().exitStatus(), QProcess::NormalExit);
    EXPECT_NE(desktop.ClientLog().find("CKestrelioClientApp: Closing app"), std::string::npos);
}

// Without a tray the balloons are desktop notifications: shown, clicked to the
// account page, and closed at the take-down time.
TEST_F(RealDesktopTest, WithoutATrayBalloonsAreNotifications)
{
    desktop.startWindowManager();
    desktop.startNotificationService();
    if (!desktop.unavailable().empty())
        GTEST_SKIP() << desktop.unavailable();
    desktop.runClient({desktop.MakePhoto("first.jpg")});
    ASSERT_TRUE(WaitFor([&] { return FindWindow(IsWindowSized).has_value(); }, 20s)) << desktop.ClientLog();
    const auto dialogUp = [&] {
        std::optional<XWindow> dialog;
        WaitFor(
            [&] {
                dialog = FindWindow([](const XWindow& w) {
                    return IsWindowSized(w) &&
                           RunTool("xprop", {"-id", std::to_string(w.id), "_NET_WM_STATE"}).find("MODAL") !=
                               std::string::npos;
                });
                return dialog.has_value();
            },
            30s);
        return dialog;
    };
    std::optional<XWindow> dialog = dialogUp();
    ASSERT_TRUE(dialog.has_value()) << desktop.ClientLog();
    ReturnToUpload(*dialog);

    desktop.runClient({desktop.MakePhoto("second.jpg")});
    unsigned id = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const std::string& line : desktop.NotificationRecord())
                if (line.find("Upload Successful!") != std::string::npos)
                    id = static_cast<unsigned>(std::stoul(line.substr(7)));
            return id != 0;
        },
        30s));
    const std::size_t launches = desktop.BrowserLaunches().size();
    desktop.ClickNotification(id);
    EXPECT_TRUE(AccountPageOpened(launches));
    dialog = dialogUp();
    ASSERT_TRUE(dialog.has_value());
    ReturnToUpload(*dialog);
    EXPECT_TRUE(desktop.clientRunning());
}

} // namespace quaylet::test
