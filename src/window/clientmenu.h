#pragma once

// The client's menu in its two forms: the tray's (no About) and the window's
// (no separator), and where the window's opens.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <memory>

class QMenu;
class QWidget;

namespace quaylet {

enum class ClientMenuKind { Tray, Window };

struct ClientMenuState {
    bool alwaysOnTop = false;
    bool launchOnStartup = false;
    bool showNotifications = false;
    // While the upload-completed dialog is open only Exit may be chosen.
    bool greyedExceptExit = false;
    bool uploadsPaused = false;
    // The Upload Speed choice ticked, in bytes per second (0: Unlimited).
    uint64_t uploadSpeed = 0;
};

// Each action's data() is its MenuCommand id. Logout is the default action
// unless the menu is greyed. The returned pointer owns the menu; parent (which
// the menu takes its screen and style from) must outlive it.
std::unique_ptr<QMenu> BuildClientMenu(ClientMenuKind kind, const ClientMenuState& state,
                                       QWidget* parent = nullptr);

// Where the window menu opens (its top-left corner, global coordinates): below
// the Menu button's left edge; above the button when it would pass the
// screen's bottom; pulled left to the screen's right edge when it would pass it.
QPoint WindowMenuPosition(const QRect& buttonGlobalRect, const QSize& menuSize, const QRect& screen);

} // namespace quaylet
