#include "window/clientmenu.h"
#include "window/menucommands.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <gtest/gtest.h>

namespace quaylet {
namespace {

// An item as "text=id", a separator as "-".
std::vector<std::string> Items(const QMenu& menu)
{
    std::vector<std::string> items;
    for (const QAction* action : menu.actions())
        items.push_back(action->isSeparator()
                            ? "-"
                            : action->text().toStdString() + "=" + std::to_string(action->data().toInt()));
    return items;
}

const QAction* Command(const QMenu& menu, int command)
{
    for (const QAction* action : menu.actions())
        if (!action->isSeparator() && action->data().toInt() == command)
            return action;
    return nullptr;
}

TEST(ClientMenuTest, TrayMenuHasNoAboutAndWindowMenuNoSeparator)
{
    const auto tray = BuildClientMenu(ClientMenuKind::Tray, {});
    EXPECT_EQ(Items(*tray),
              (std::vector<std::string>{"Logout=32771", "Always On Top=32774", "Launch On Startup=32791",
                                        "Show Notifications=32792", "Pause Uploads=32811", "Upload Speed=0", "-",
                                        "Exit=1"}));
    const auto window = BuildClientMenu(ClientMenuKind::Window, {});
    EXPECT_EQ(Items(*window),
              (std::vector<std::string>{"Add Files...=32810", "Logout=32771", "Always On Top=32774",
                                        "Launch On Startup=32791", "Show Notifications=32792",
                                        "Pause Uploads=32811", "Upload Speed=0", "Upload History...=32812",
                                        "&About=32793", "Exit=1"}));
    for (const QMenu* menu : {tray.get(), window.get()}) {
        EXPECT_EQ(menu->defaultAction(), Command(*menu, MenuCommand::kLogout));
        for (const QAction* action : menu->actions())
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
}

TEST(ClientMenuTest, CheckMarksFollowTheOptions)
{
    const int options[] = {MenuCommand::kAlwaysOnTop, MenuCommand::kLaunchOnStartup,
                           MenuCommand::kShowNotifications, MenuCommand::kPauseUploads};
    for (int set = 0; set < 16; ++set) {
        const ClientMenuState state{(set & 1) != 0, (set & 2) != 0, (set & 4) != 0, false, (set & 8) != 0};
        for (ClientMenuKind kind : {ClientMenuKind::Tray, ClientMenuKind::Window}) {
            const auto menu = BuildClientMenu(kind, state);
            for (int i = 0; i < 4; ++i) {
                const QAction* action = Command(*menu, options[i]);
                ASSERT_TRUE(action);
                EXPECT_TRUE(action->isCheckable());
                EXPECT_EQ(action->isChecked(), (set >> i & 1) != 0) << set << " " << options[i];
            }
            for (int command : {MenuCommand::kLogout, MenuCommand::kExit})
                EXPECT_FALSE(Command(*menu, command)->isChecked());
        }
    }
}

// Both menus hold the same Upload Speed submenu, with exactly the stored
// choice ticked, radio style.
TEST(ClientMenuTest, UploadSpeedSubmenuTicksTheChosenRate)
{
    const struct {
        uint64_t rate;
        int ticked;
    } cases[] = {
        {0, MenuCommand::kUploadSpeedUnlimited},     {1000000, MenuCommand::kUploadSpeed8Mbit},
        {500000, MenuCommand::kUploadSpeed4Mbit},   {250000, MenuCommand::kUploadSpeed2Mbit},
        {125000, MenuCommand::kUploadSpeed1Mbit},   {62500, MenuCommand::kUploadSpeedHalfMbit},
    };
    for (const auto& c : cases) {
        for (ClientMenuKind kind : {ClientMenuKind::Tray, ClientMenuKind::Window}) {
            ClientMenuState state;
            state.uploadSpeed = c.rate;
            const auto menu = BuildClientMenu(kind, state);
            const QMenu* speeds = nullptr;
            for (const QAction* action : menu->actions())
                if (action->text() == QStringLiteral("Upload Speed"))
                    speeds = action->menu();
            ASSERT_NE(speeds, nullptr);
            EXPECT_EQ(Items(*speeds),
                      (std::vector<std::string>{"Unlimited=32820", "8 Mbit/s=32821", "4 Mbit/s=32822",
                                                "2 Mbit/s=32823", "1 Mbit/s=32824", "0.5 Mbit/s=32825"}));
            for (const QAction* action : speeds->actions()) {
                EXPECT_TRUE(action->isCheckable());
                EXPECT_EQ(action->isChecked(), action->data().toInt() == c.ticked) << c.rate;
                ASSERT_NE(action->actionGroup(), nullptr);
                EXPECT_TRUE(action->actionGroup()->isExclusive());
            }
        }
    }
}

TEST(ClientMenuTest, GreyedMenuLeavesOnlyExit)
{
    const auto menu = BuildClientMenu(ClientMenuKind::Tray, {true, true, true, true});
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            EXPECT_EQ(action->isEnabled(), action->data().toInt() == MenuCommand::kExit)
                << action->text().toStdString();
        }
        if (action->menu() != nullptr) {
            for (const QAction* choice : action->menu()->actions())
                EXPECT_FALSE(choice->isEnabled()) << choice->text().toStdString();
        }
    }
    EXPECT_EQ(menu->defaultAction(), nullptr);
    // The check marks still show the options.
    EXPECT_TRUE(Command(*menu, MenuCommand::kShowNotifications)->isChecked());
}

TEST(ClientMenuTest, WindowMenuOpensBesideTheButtonInsideTheScreen)
{
    const QRect screen(0, 0, 1000, 800);
    const QSize menu(200, 150);
    struct Case {
        const char* where;
        QRect button;
        QRect screen;
        QPoint expected;
    };
    const Case cases[] = {
        {"middle: below, left edges aligned", {400, 300, 20, 16}, screen, {400, 316}},
        {"bottom fits exactly", {400, 634, 20, 16}, screen, {400, 650}},
        {"bottom: flipped above the button", {400, 635, 20, 16}, screen, {400, 485}},
        {"right fits exactly", {800, 300, 20, 16}, screen, {800, 316}},
        {"right: pulled to the screen's edge", {900, 300, 20, 16}, screen, {800, 316}},
        {"bottom-right: up and left", {950, 760, 20, 16}, screen, {800, 610}},
        {"second screen to the right, bottom-right",
         {1900, 1000, 20, 16},
         {1000, 200, 1000, 900},
         {1800, 850}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowMenuPosition(c.button, menu, c.screen), c.expected) << c.where;
}

} // namespace
} // namespace quaylet
