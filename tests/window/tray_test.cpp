#include "window/desktopnotifications.h"
#include "window/trayicon.h"

#include "support/sandbox.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>

namespace quaylet {
namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A session bus of the test's own: a dbus-daemon listening in the sandbox.
class PrivateBus final {
public:
    PrivateBus()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty())
            return;
        const std::string config = test::SandboxPath("bus.conf");
        test::WriteFile(config,
                        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                        "<busconfig><type>session</type><listen>unix:dir=" +
                            test::SandboxDir() +
                            "</listen><auth>EXTERNAL</auth>"
                            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        m_daemon.start(program, {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                 QStringLiteral("--config-file=") + QString::fromStdString(config)});
        QElapsedTimer timer;
        timer.start();
        while (!m_daemon.canReadLine() && timer.elapsed() < 10000 && m_daemon.state() != QProcess::NotRunning)
            m_daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    Q_DISABLE_COPY_MOVE(PrivateBus)

    bool running() const { return !m_address.isEmpty(); }

    QDBusConnection connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

struct NotifyCall {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString title;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeoutMs = 0;
};

// The desktop's notification service, as far as the client uses it.
class FakeNotificationServer final : public QDBusVirtualObject {
public:
    FakeNotificationServer(QDBusConnection bus, QStringList capabilities)
        : m_bus(std::move(bus)), m_capabilities(std::move(capabilities))
    {
        m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this);
        m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QVariantList args = message.arguments();
        std::lock_guard lock(m_mutex);
        QVariantList reply;
        if (message.member() == QLatin1String("GetCapabilities")) {
            reply << m_capabilities;
        } else if (message.member() == QLatin1String("Notify") && args.size() == 8) {
            NotifyCall call{args[0].toString(),
                            args[1].toUInt(),
                            args[2].toString(),
                            args[3].toString(),
                            args[4].toString(),
                            args[5].toStringList(),
                            qdbus_cast<QVariantMap>(args[6]),
                            args[7].toInt()};
            m_notified.push_back(call);
            reply << (call.replacesId != 0 ? call.replacesId : ++m_lastId);
        } else if (message.member() == QLatin1String("CloseNotification") && args.size() == 1) {
            m_closed.push_back(args[0].toUInt());
        } else {
            return false;
        }
        connection.send(message.createReply(reply));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    void emitSignal(const char* name, const QVariantList& arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QString::fromLatin1(name));
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    std::vector<NotifyCall> notified() const
    {
        std::lock_guard lock(m_mutex);
        return m_notified;
    }
    std::vector<uint> closed() const
    {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }

private:
    QDBusConnection m_bus;
    const QStringList m_capabilities;
    mutable std::mutex m_mutex;         // the bus may deliver on its own thread
    std::vector<NotifyCall> m_notified; // guarded by m_mutex
    std::vector<uint> m_closed;         // guarded by m_mutex
    uint m_lastId = 100;                // guarded by m_mutex
};

class NotificationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.running())
            GTEST_SKIP() << "dbus-daemon is not installed: no private session bus";
    }
    FakeNotificationServer& startServer(QStringList capabilities = {QStringLiteral("actions"),
                                                                    QStringLiteral("body")})
    {
        server = std::make_unique<FakeNotificationServer>(bus.connect(QStringLiteral("server")),
                                                          std::move(capabilities));
        return *server;
    }
    std::unique_ptr<DesktopNotifications> client()
    {
        return std::make_unique<DesktopNotifications>(bus.connect(QStringLiteral("client")));
    }

    PrivateBus bus;
    std::unique_ptr<FakeNotificationServer> server;
};

TEST_F(NotificationsTest, ShowsTitleTextIconAndPictureAndReportsItsClick)
{
    FakeNotificationServer& fake = startServer();
    auto notifications = client();
    EXPECT_TRUE(notifications->available());
    int clicks = 0;
    notifications->onClick = [&clicks] { ++clicks; };

    test::WriteFile(test::SandboxPath("pic ture.jpg"), "jpeg");
    notifications->show({QStringLiteral("New photo"), QStringLiteral("Tom & <Jerry>"), BalloonIcon::Warning,
                         QString::fromStdString(test::SandboxPath("pic ture.jpg")), 7000});
    ASSERT_TRUE(WaitUntil([&] { return fake.notified().size() == 1; }));
    const NotifyCall call = fake.notified()[0];
    EXPECT_EQ(call.appName, QStringLiteral("Glimmerly"));
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.icon, QStringLiteral("dialog-warning"));
    EXPECT_EQ(call.title, QStringLiteral("New photo"));
    EXPECT_EQ(call.body, QStringLiteral("Tom & <Jerry>")); // no markup: the text as it is
    EXPECT_TRUE(call.actions.contains(QStringLiteral("default")));
    EXPECT_EQ(QUrl(call.hints.value(QStringLiteral("image-path")).toString()).toLocalFile().toStdString(),
              test::SandboxPath("pic ture.jpg"));
    EXPECT_EQ(call.timeoutMs, 7000);

    // Another notification's click, and another action of ours, are not ours
    // to report; signals arrive in order, so they were seen before the click.
    fake.emitSignal("ActionInvoked", {7u, QStringLiteral("default")});
    fake.emitSignal("ActionInvoked", {101u, QStringLiteral("other")});
    fake.emitSignal("ActionInvoked", {101u, QStringLiteral("default")});
    ASSERT_TRUE(WaitUntil([&] { return clicks > 0; }));
    EXPECT_EQ(clicks, 1);
}

TEST_F(NotificationsTest, TextIsEscapedWhereTheDesktopReadsMarkup)
{
    FakeNotificationServer& fake = startServer({QStringLiteral("body"), QStringLiteral("body-markup")});
    auto notifications = client();
    notifications->show({QStringLiteral("a<b"), QStringLiteral("Tom & <Jerry>.jpg could not be uploaded.")});
    ASSERT_TRUE(WaitUntil([&] { return fake.notified().size() == 1; }));
    EXPECT_EQ(fake.notified()[0].title, QStringLiteral("a<b"));
    EXPECT_EQ(fake.notified()[0].body, QStringLiteral("Tom &amp; &lt;Jerry&gt;.jpg could not be uploaded."));
    EXPECT_TRUE(fake.notified()[0].icon.isEmpty());
    EXPECT_FALSE(fake.notified()[0].hints.contains(QStringLiteral("image-path")));
}

TEST_F(NotificationsTest, EachNotificationReplacesTheLastAndCloseTakesItDown)
{
    FakeNotificationServer& fake = startServer();
    auto notifications = client();
    auto lastTitle = [&fake] { return fake.notified().empty() ? QString() : fake.notified().back().title; };
    notifications->show({QStringLiteral("one"), QStringLiteral("1")});
    ASSERT_TRUE(WaitUntil([&] { return lastTitle() == QStringLiteral("one"); }));
    EXPECT_EQ(fake.notified().back().replacesId, 0u);
    const uint id = 101;

    // Back to back: each waits for the id before it (or gives way to the
    // next), so every one replaces the first.
    notifications->show({QStringLiteral("two"), QStringLiteral("2")});
    notifications->show({QStringLiteral("three"), QStringLiteral("3")});
    ASSERT_TRUE(WaitUntil([&] { return lastTitle() == QStringLiteral("three"); }));
    const auto calls = fake.notified();
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].replacesId, id) << calls[i].title.toStdString();

    // Closed while the next is still on its way: the close follows it.
    notifications->show({QStringLiteral("four"), QStringLiteral("4")});
    notifications->close();
    ASSERT_TRUE(WaitUntil([&] { return !fake.closed().empty(); }));
    EXPECT_EQ(fake.closed(), std::vector<uint>{id});

    // Once closed, the next one is a new notification.
    notifications->show({QStringLiteral("five"), QStringLiteral("5")});
    ASSERT_TRUE(WaitUntil([&] { return lastTitle() == QStringLiteral("five"); }));
    EXPECT_EQ(fake.notified().back().replacesId, 0u);
}

TEST_F(NotificationsTest, WithoutAServiceNothingIsShownAndNothingHangs)
{
    auto notifications = client();
    EXPECT_FALSE(notifications->available());
    notifications->show({QStringLiteral("t"), QStringLiteral("x")});
    // A service that starts later is used, also while the question whether
    // there is one is still unanswered.
    FakeNotificationServer& fake = startServer();
    notifications->show({QStringLiteral("t"), QStringLiteral("y")});
    EXPECT_TRUE(WaitUntil(
        [&] { return !fake.notified().empty() && fake.notified().back().body == QStringLiteral("y"); }));
}

TEST_F(NotificationsTest, WithoutATrayBalloonsBecomeNotificationsAndTheirClickAMessageClick)
{
    FakeNotificationServer& fake = startServer();
    auto tray = MakeSystemTrayIcon(client());
    // The offscreen desktop has no tray.
    ASSERT_FALSE(tray->trayAvailable());
    std::vector<TrayClick> clicks;
    tray->onClick = [&clicks](TrayClick click, QPoint) { clicks.push_back(click); };
    QPixmap picture(16, 16);
    picture.fill(Qt::red);
    tray->add(QIcon(picture), QStringLiteral("Glimmerly"));

    tray->showBalloon({QStringLiteral("Upload Successful!"), QStringLiteral("Click here to view"),
                       BalloonIcon::Info, 10000});
    ASSERT_TRUE(WaitUntil([&] { return fake.notified().size() == 1; }));
    EXPECT_EQ(fake.notified()[0].title, QStringLiteral("Upload Successful!"));
    EXPECT_EQ(fake.notified()[0].icon, QStringLiteral("dialog-information"));
    EXPECT_EQ(fake.notified()[0].timeoutMs, 10000);

    fake.emitSignal("ActionInvoked", {101u, QStringLiteral("default")});
    ASSERT_TRUE(WaitUntil([&] { return !clicks.empty(); }));
    EXPECT_EQ(clicks, std::vector<TrayClick>{TrayClick::Message});

    // An empty text takes the balloon down.
    tray->showBalloon({QStringLiteral("Upload Successful!"), QString(), BalloonIcon::Info, 10000});
    ASSERT_TRUE(WaitUntil([&] { return fake.closed().size() == 1; }));
    EXPECT_EQ(fake.closed()[0], 101u);
    tray.reset();
    EXPECT_EQ(fake.notified().size(), 1u);
}

} // namespace
} // namespace quaylet
