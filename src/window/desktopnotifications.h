#pragma once

// Desktop notifications (org.freedesktop.Notifications on the session bus):
// one shown at a time, each new one replacing the last, with an optional
// picture and a report when the user clicks it. Where the desktop has no
// notification service nothing is shown and nothing fails.
//
// Window thread only: the bus's answers arrive through its event loop.

#include "transfer/windowreactions.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QDBusError;

namespace quaylet {

struct DesktopNotification {
    QString title;
    QString text; // plain text
    BalloonIcon icon = BalloonIcon::None;
    QString picturePath; // a picture file shown with the text; empty: none
    int timeoutMs = -1;  // -1: as the desktop likes
};

class DesktopNotifications final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifications)

public:
    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    ~DesktopNotifications() override;

    // True when the bus has (or can start) a notification service.
    bool available() const;

    void show(const DesktopNotification& notification);
    // Closes the one shown (or about to be).
    void close();

    // The user clicked the notification shown.
    std::function<void()> onClick;

private Q_SLOTS:
    void onCapabilities(const QStringList& capabilities);
    void onCapabilitiesFailed(const QDBusError& error);
    void onShown(uint id);
    void onShowFailed(const QDBusError& error);
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    // One call at a time, so that each Notify knows the id it replaces.
    void sendNext();
    void closeShown();

    QDBusConnection m_bus;
    bool m_capabilitiesKnown = false;
    bool m_bodyMarkup = false;
    bool m_callInFlight = false;
    std::optional<DesktopNotification> m_waiting; // sent when the call in flight has answered
    bool m_closeWaiting = false;                  // close() came while a call was in flight
    uint64_t m_shows = 0;                         // show() calls so far
    uint64_t m_showsWhenAsked = 0;                // m_shows when the capabilities were asked
    uint32_t m_shownId = 0;                       // the service's id of ours; 0: none
};

} // namespace quaylet
