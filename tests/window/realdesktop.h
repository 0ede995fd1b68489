#pragma once

// The real client on a real desktop: the quaylet binary started on the test's
// private X server with a private session bus, the development service, and
// whatever desktop parts a test asks for (a window manager, an XEmbed tray
// host, a notification service), each started and ended by the test. The
// windows are read and driven from outside, as a user's desktop would:
// xprop, xwininfo and xdotool.

#include "devserver/devserverprocess.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::test {

// A program found on PATH; empty when it is not installed.
std::string InstalledProgram(const std::string& name);

// Polls condition every 50 ms until it holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Output of a helper program (xprop, xdotool ...); empty when it failed.
std::string RunTool(const std::string& program, const std::vector<std::string>& args);

struct XWindow {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool viewable = false;
};

// The client's windows (WM_CLASS "quaylet"), mapped or not.
std::vector<XWindow> ClientWindows();
std::optional<XWindow> FindWindow(const std::function<bool(const XWindow&)>& match);
// The window manager's stacking order, bottom first.
std::vector<unsigned long> StackingOrder();
// Both are listed by the window manager and upper is stacked above lower.
bool StackedAbove(unsigned long upper, unsigned long lower);

// One desktop part the test runs: ended (SIGTERM, then SIGKILL) with the test.
class DesktopPart final {
public:
    DesktopPart(const std::string& program, const QStringList& args, const QProcessEnvironment& env);
    ~DesktopPart();
    DesktopPart(const DesktopPart&) = delete;
    DesktopPart& operator=(const DesktopPart&) = delete;
    QProcess& process() { return m_process; }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

// A desktop session: bus, service, browser record and the client.
class RealDesktop final {
public:
    RealDesktop();
    ~RealDesktop();
    RealDesktop(const RealDesktop&) = delete;
    RealDesktop& operator=(const RealDesktop&) = delete;

    // Why the session cannot run (a missing program); empty when it can.
    const std::string& unavailable() const { return m_unavailable; }

    void startWindowManager();
    void startTrayHost();
    // A small notification service on the bus that records what it is asked.
    void startNotificationService();

    // Starts the client with these files; a second call hands the files to the
    // running one, as a file manager's "open with" would.
    void runClient(const std::vector<std::string>& files = {});
    QProcess& client() { return *m_client; }
    bool clientRunning() const { return m_client && m_client->state() == QProcess::Running; }

    // A fresh photo in the session's folder.
    std::string MakePhoto(const std::string& name);
    // The addresses the browser was asked to open, in order.
    std::vector<std::string> BrowserLaunches() const;
    // Lines the notification service recorded ("Notify <summary>", "Close", ...).
    std::vector<std::string> NotificationRecord() const;
    // Clicks the notification with this id, as the service reports a click.
    void ClickNotification(unsigned id);
    std::string ClientLog() const;
    std::string user() const { return "demo"; }

private:
    std::string m_dir;
    std::string m_unavailable;
    QProcessEnvironment m_env;
    std::unique_ptr<DesktopPart> m_bus;
    std::unique_ptr<DevServerProcess> m_server;
    std::vector<std::unique_ptr<DesktopPart>> m_parts;
    std::unique_ptr<QProcess> m_client;
    int m_photos = 0;
};

// xdotool's clicks and keys on the test's display.
void Click(int x, int y, int button = 1);
void Keys(const std::vector<std::string>& keys);

} // namespace quaylet::test
