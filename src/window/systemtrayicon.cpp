#include "window/desktopnotifications.h"
#include "window/trayicon.h"

#include <QCursor>
#include <QObject>
#include <QSystemTrayIcon>

#include <utility>

namespace quaylet {

namespace {

QSystemTrayIcon::MessageIcon TrayMessageIcon(BalloonIcon icon)
{
    switch (icon) {
    case BalloonIcon::Info:
        return QSystemTrayIcon::Information;
    case BalloonIcon::Warning:
        return QSystemTrayIcon::Warning;
    case BalloonIcon::Error:
        return QSystemTrayIcon::Critical;
    case BalloonIcon::None:
        break;
    }
    return QSystemTrayIcon::NoIcon;
}

class SystemTrayIcon final : public ITrayIcon {
public:
    SystemTrayIcon(std::unique_ptr<DesktopNotifications> notifications, QObject* parent)
        : m_notifications(std::move(notifications))
    {
        QObject::connect(&m_icon, &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             // A double click already gave its first click as a Trigger; one
                             // toggle per double click leaves the window where the user wanted it.
                             if (reason == QSystemTrayIcon::Trigger)
                                 report(TrayClick::Left);
                             else if (reason == QSystemTrayIcon::Context)
                                 report(TrayClick::Right);
                         });
        QObject::connect(&m_icon, &QSystemTrayIcon::messageClicked, [this] { report(TrayClick::Message); });
        if (m_notifications)
            m_notifications->onClick = [this] { report(TrayClick::Message); };
        if (parent)
            QObject::connect(parent, &QObject::destroyed, &m_icon, &QSystemTrayIcon::hide);
    }
    ~SystemTrayIcon() override { remove(); }
    Q_DISABLE_COPY_MOVE(SystemTrayIcon)

    bool trayAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    void add(const QIcon& icon, const QString& toolTip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(toolTip);
        m_icon.show();
    }

    void setToolTip(const QString& toolTip) override { m_icon.setToolTip(toolTip); }

    void showBalloon(const TrayBalloon& balloon) override
    {
        if (balloon.text.isEmpty()) {
            removeBalloon();
        } else if (trayAvailable() && m_icon.isVisible()) {
            m_icon.showMessage(balloon.title, balloon.text, TrayMessageIcon(balloon.icon), balloon.timeoutMs);
        } else if (m_notifications) {
            m_notifications->show({balloon.title, balloon.text, balloon.icon, {}, balloon.timeoutMs});
        }
    }

    // A tray's balloon ends by its own time-out: a tray that shows balloons as
    // notifications has no way to take one back, and an empty one would show.
    void removeBalloon() override
    {
        if (m_notifications)
            m_notifications->close();
    }

    void remove() override
    {
        removeBalloon();
        m_icon.hide();
    }

private:
    void report(TrayClick click)
    {
        if (onClick)
            onClick(click, QCursor::pos());
    }

    QSystemTrayIcon m_icon;
    std::unique_ptr<DesktopNotifications> m_notifications;
};

} // namespace

std::unique_ptr<ITrayIcon> MakeSystemTrayIcon(QObject* parent)
{
    return MakeSystemTrayIcon(std::make_unique<DesktopNotifications>(), parent);
}

std::unique_ptr<ITrayIcon> MakeSystemTrayIcon(std::unique_ptr<DesktopNotifications> notifications,
                                              QObject* parent)
{
    return std::make_unique<SystemTrayIcon>(std::move(notifications), parent);
}

} // namespace quaylet
