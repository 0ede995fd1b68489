#include "window/desktopnotifications.h"

#include "core/stringtable.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

#include <utility>

namespace quaylet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const QString kDefaultAction = QStringLiteral("default");
// A service that does not answer must not hold later notifications for long.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage Call(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

QString IconName(BalloonIcon icon)
{
    switch (icon) {
    case BalloonIcon::Info:
        return QStringLiteral("dialog-information");
    case BalloonIcon::Warning:
        return QStringLiteral("dialog-warning");
    case BalloonIcon::Error:
        return QStringLiteral("dialog-error");
    case BalloonIcon::None:
        break;
    }
    return {};
}

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

DesktopNotifications::~DesktopNotifications()
{
    // A notification left behind could still be clicked, with nobody to answer.
    closeShown();
    m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
    m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(onNotificationClosed(uint, uint)));
}

bool DesktopNotifications::available() const
{
    if (!m_bus.isConnected())
        return false;
    const QString busService = QStringLiteral("org.freedesktop.DBus");
    auto ask = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            busService, QStringLiteral("/org/freedesktop/DBus"), busService, method);
        message.setArguments(arguments);
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                   ? reply.arguments().constFirst()
                   : QVariant();
    };
    return ask(QStringLiteral("NameHasOwner"), {kService}).toBool() ||
           ask(QStringLiteral("ListActivatableNames"), {}).toStringList().contains(kService);
}

void DesktopNotifications::show(const DesktopNotification& notification)
{
    if (!m_bus.isConnected())
        return;
    m_waiting = notification;
    m_closeWaiting = false;
    ++m_shows;
    sendNext();
}

void DesktopNotifications::close()
{
    m_waiting.reset();
    if (m_callInFlight)
        m_closeWaiting = true;
    else
        closeShown();
}

void DesktopNotifications::sendNext()
{
    if (m_callInFlight)
        return;
    if (!m_capabilitiesKnown) {
        // Whether the text is read as markup decides how it must be written.
        m_showsWhenAsked = m_shows;
        if (m_waiting)
            m_callInFlight = m_bus.callWithCallback(Call(QStringLiteral("GetCapabilities")), this,
                                                    SLOT(onCapabilities(QStringList)),
                                                    SLOT(onCapabilitiesFailed(QDBusError)), kCallTimeoutMs);
        return;
    }
    if (std::exchange(m_closeWaiting, false))
        closeShown();
    if (!m_waiting)
        return;
    const DesktopNotification notification = *std::exchange(m_waiting, std::nullopt);

    QVariantMap hints;
    if (!notification.picturePath.isEmpty())
        hints.insert(QStringLiteral("image-path"),
                     QUrl::fromLocalFile(QFileInfo(notification.picturePath).absoluteFilePath()).toString());
    QDBusMessage message = Call(QStringLiteral("Notify"));
    message << QString::fromUtf8(LoadString(str::AppTitle)) << m_shownId << IconName(notification.icon)
            << notification.title << (m_bodyMarkup ? notification.text.toHtmlEscaped() : notification.text)
            << QStringList{kDefaultAction, QStringLiteral("Open")} << hints << notification.timeoutMs;
    m_callInFlight = m_bus.callWithCallback(message, this, SLOT(onShown(uint)),
                                            SLOT(onShowFailed(QDBusError)), kCallTimeoutMs);
}

void DesktopNotifications::closeShown()
{
    if (m_shownId == 0)
        return;
    QDBusMessage message = Call(QStringLiteral("CloseNotification"));
    message << std::exchange(m_shownId, 0);
    m_bus.send(message);
}

void DesktopNotifications::onCapabilities(const QStringList& capabilities)
{
    m_callInFlight = false;
    m_capabilitiesKnown = true;
    m_bodyMarkup = capabilities.contains(QStringLiteral("body-markup"));
    sendNext();
}

void DesktopNotifications::onCapabilitiesFailed(const QDBusError&)
{
    // No service to show it. A notification that came after the question
    // asks again: the desktop may have started its service meanwhile.
    m_callInFlight = false;
    if (m_shows != m_showsWhenAsked) {
        sendNext();
        return;
    }
    m_waiting.reset();
    m_closeWaiting = false;
}

void DesktopNotifications::onShown(uint id)
{
    m_callInFlight = false;
    m_shownId = id;
    sendNext();
}

void DesktopNotifications::onShowFailed(const QDBusError&)
{
    m_callInFlight = false;
    sendNext();
}

void DesktopNotifications::onActionInvoked(uint id, const QString& actionKey)
{
    if (id == 0 || id != m_shownId || actionKey != kDefaultAction || !onClick)
        return;
    // The handler may replace itself.
    const auto handler = onClick;
    handler();
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    if (id == m_shownId)
        m_shownId = 0;
}

} // namespace quaylet
