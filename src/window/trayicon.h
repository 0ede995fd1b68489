#pragma once

// The window's icon in the desktop's system tray: its tooltip, its balloons and
// its clicks. Where the desktop has no tray, balloons become desktop
// notifications (when the desktop has those) and the icon itself is absent.

#include "transfer/windowreactions.h"

#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace quaylet {

class DesktopNotifications;

// Message: a balloon was clicked, or the icon was "selected".
enum class TrayClick { Left, Right, Message };

struct TrayBalloon {
    QString title;
    QString text;
    BalloonIcon icon = BalloonIcon::Info;
    int timeoutMs = 10000;
};

// Window thread only.
class ITrayIcon {
public:
    virtual ~ITrayIcon() = default;
    // False: this desktop has no system tray.
    virtual bool trayAvailable() const = 0;
    virtual void add(const QIcon& icon, const QString& toolTip) = 0;
    virtual void setToolTip(const QString& toolTip) = 0;
    // Replaces the balloon shown; an empty text removes it.
    virtual void showBalloon(const TrayBalloon& balloon) = 0;
    virtual void removeBalloon() = 0;
    virtual void remove() = 0;

    // Clicks, on the window thread; Right carries the cursor position.
    std::function<void(TrayClick, QPoint)> onClick;
};

// The desktop's tray icon, with balloons going to desktop notifications on the
// session bus where there is no tray. parent, when given, takes the icon down
// with it; the returned object may outlive it harmlessly.
std::unique_ptr<ITrayIcon> MakeSystemTrayIcon(QObject* parent = nullptr);
// The same with the notifications to use where there is no tray.
std::unique_ptr<ITrayIcon> MakeSystemTrayIcon(std::unique_ptr<DesktopNotifications> notifications,
                                              QObject* parent = nullptr);

} // namespace quaylet
