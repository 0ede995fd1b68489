#include "window/desktopnotifications.h"
#include "window/trayicon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
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

// Qt puts its tray icon on a status-notifier host when the session bus has
// one; its balloons are then desktop notifications that it cannot take back.
// Otherwise the icon is a window of its own in an XEmbed tray, and so is each
// balloon, which Qt takes down when asked for an empty one.
bool StatusNotifierHostOnTheBus()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    return daemon != nullptr && daemon->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

class SystemTrayIcon final : public ITrayIcon {
public:
    SystemTrayIcon(std::unique_ptr<DesktopNotifications> notifications, QObject* parent)
        : m_notifications(std::move(notifications)), m_balloonsAreWindows(!StatusNotifierHostOnTheBus())
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
        QObject::connect(&m_icon, &QSystemTrayIcon::messageClicked, [this] {
            m_trayBalloonUp = false; // a clicked balloon goes by itself
            report(TrayClick::Message);
        });
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
            return;
        }
        // Each kind of balloon replaces the one before it.
        const bool onTheIcon = trayAvailable() && m_icon.isVisible();
        if (onTheIcon && (m_balloonsAreWindows || !m_notifications)) {
            m_icon.showMessage(balloon.title, balloon.text, TrayMessageIcon(balloon.icon), balloon.timeoutMs);
            m_trayBalloonUp = m_balloonsAreWindows;
        } else if (m_notifications) {
            // Our own notification, not Qt's: it can be closed on time.
            m_notifications->show({balloon.title, balloon.text, balloon.icon, {}, balloon.timeoutMs});
        }
    }

    // Taken down at once, so that no balloon shows that a click would no
    // longer answer.
    void removeBalloon() override
    {
        if (m_trayBalloonUp) {
            m_trayBalloonUp = false;
            m_icon.showMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 0);
        }
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
    const bool m_balloonsAreWindows;
    bool m_trayBalloonUp = false; // a balloon window of the icon may show
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
