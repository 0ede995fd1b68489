#include "window/clientmenu.h"

#include "window/menucommands.h"
#include "window/uploadspeed.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QString>

namespace quaylet {

namespace {

QAction* AddCommand(QMenu& menu, const char* text, int command)
{
    QAction* action = menu.addAction(QString::fromLatin1(text));
    action->setData(command);
    return action;
}

void AddCheckedCommand(QMenu& menu, const char* text, int command, bool checked)
{
    QAction* action = AddCommand(menu, text, command);
    action->setCheckable(true);
    action->setChecked(checked);
}

// The Upload Speed submenu: one choice ticked, radio style.
void AddUploadSpeedMenu(QMenu& menu, uint64_t ticked)
{
    QMenu* speeds = menu.addMenu(QStringLiteral("Upload Speed"));
    auto* group = new QActionGroup(speeds); // owned by the submenu
    group->setExclusive(true);
    for (const UploadSpeedChoice& choice : UploadSpeedChoices()) {
        QAction* action = AddCommand(*speeds, choice.text, choice.command);
        action->setCheckable(true);
        action->setChecked(choice.bytesPerSecond == ticked);
        group->addAction(action);
    }
}

// Every action, those of sub-menus too, greyed; Exit alone stays.
void GreyAllButExit(QMenu& menu)
{
    for (QAction* action : menu.actions()) {
        if (QMenu* sub = action->menu())
            GreyAllButExit(*sub);
        action->setEnabled(action->data().toInt() == MenuCommand::kExit);
    }
}

} // namespace

std::unique_ptr<QMenu> BuildClientMenu(ClientMenuKind kind, const ClientMenuState& state, QWidget* parent)
{
    auto menu = std::make_unique<QMenu>(parent);
    // Files reach the window by keyboard too.
    if (kind == ClientMenuKind::Window)
        AddCommand(*menu, "Add Files...", MenuCommand::kAddFiles);
    QAction* logout = AddCommand(*menu, "Logout", MenuCommand::kLogout);
    AddCheckedCommand(*menu, "Always On Top", MenuCommand::kAlwaysOnTop, state.alwaysOnTop);
    AddCheckedCommand(*menu, "Launch On Startup", MenuCommand::kLaunchOnStartup, state.launchOnStartup);
    AddCheckedCommand(*menu, "Show Notifications", MenuCommand::kShowNotifications, state.showNotifications);
    AddCheckedCommand(*menu, "Pause Uploads", MenuCommand::kPauseUploads, state.uploadsPaused);
    AddUploadSpeedMenu(*menu, state.uploadSpeed);
    // The tray's menu has no history or About; the window's has no separator.
    if (kind == ClientMenuKind::Window) {
        AddCommand(*menu, "Upload History...", MenuCommand::kUploadHistory);
        AddCommand(*menu, "&About", MenuCommand::kAbout);
    } else {
        menu->addSeparator();
    }
    AddCommand(*menu, "Exit", MenuCommand::kExit);

    if (state.greyedExceptExit)
        GreyAllButExit(*menu);
    else
        menu->setDefaultAction(logout);
    return menu;
}

QPoint WindowMenuPosition(const QRect& buttonGlobalRect, const QSize& menuSize, const QRect& screen)
{
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    const int buttonBottom = buttonGlobalRect.y() + buttonGlobalRect.height();

    int x = buttonGlobalRect.x();
    int y = buttonBottom;
    if (y + menuSize.height() > screenBottom)
        y = buttonGlobalRect.y() - menuSize.height();
    if (x + menuSize.width() > screenRight)
        x = screenRight - menuSize.width();
    return {x, y};
}

} // namespace quaylet
