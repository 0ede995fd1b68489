#include "window/realdesktop.h"

#include "credentials/profile.h"
#include "support/sandbox.h"

#include <QCoreApplication>
#include <QImage>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace quaylet::test {

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

QStringList Args(const std::vector<std::string>& args)
{
    QStringList list;
    for (const std::string& arg : args)
        list << QString::fromStdString(arg);
    return list;
}

} // namespace

std::string InstalledProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string RunTool(const std::string& program, const std::vector<std::string>& args)
{
    QProcess tool;
    tool.start(QString::fromStdString(program), Args(args));
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit)
        return {};
    return tool.readAllStandardOutput().toStdString();
}

std::vector<XWindow> ClientWindows()
{
    std::vector<XWindow> windows;
    for (const std::string& line : Lines(RunTool("xdotool", {"search", "--classname", "^quaylet$"}))) {
        XWindow window;
        window.id = std::stoul(line);
        const std::string info = RunTool("xwininfo", {"-id", line});
        const auto number = [&info](const std::string& label) {
            const std::size_t at = info.find(label);
            return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + label.size());
        };
        window.x = number("Absolute upper-left X:");
        window.y = number("Absolute upper-left Y:");
        window.width = number("Width:");
        window.height = number("Height:");
        window.viewable = info.find("IsViewable") != std::string::npos;
        windows.push_back(window);
    }
    return windows;
}

std::optional<XWindow> FindWindow(const std::function<bool(const XWindow&)>& match)
{
    for (const XWindow& window : ClientWindows())
        if (match(window))
            return window;
    return std::nullopt;
}

std::vector<unsigned long> StackingOrder()
{
    std::vector<unsigned long> order;
    const std::string text = RunTool("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    const std::size_t hash = text.find('#');
    if (hash == std::string::npos)
        return order;
    std::istringstream ids(text.substr(hash + 1));
    for (std::string id; std::getline(ids, id, ',');)
        order.push_back(std::stoul(id, nullptr, 16));
    return order;
}

bool StackedAbove(unsigned long upper, unsigned long lower)
{
    const std::vector<unsigned long> order = StackingOrder();
    const auto up = std::find(order.begin(), order.end(), upper);
    const auto low = std::find(order.begin(), order.end(), lower);
    return up != order.end() && low != order.end() && up > low;
}

DesktopPart::DesktopPart(const std::string& program, const QStringList& args, const QProcessEnvironment& env)
{
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QString::fromStdString(program), args);
    m_process.waitForStarted(5000);
}

DesktopPart::~DesktopPart()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

RealDesktop::RealDesktop() : m_dir(SandboxPath("desktop-" + std::to_string(::getpid()) + "-" +
                                               std::to_string(std::rand())))
{
    std::filesystem::create_directories(m_dir + "/work");
    for (const char* program : {"xdotool", "xprop", "xwininfo", "dbus-daemon"}) {
        if (InstalledProgram(program).empty()) {
            m_unavailable = std::string("no ") + program + " on this machine";
            return;
        }
    }
    m_env = QProcessEnvironment::systemEnvironment();
    // The session bus: private to this session, ended with it.
    m_bus = std::make_unique<DesktopPart>(
        "dbus-daemon", Args({"--session", "--nofork", "--nopidfile", "--print-address=1"}), m_env);
    if (!m_bus->process().waitForReadyRead(5000)) {
        m_unavailable = "the session bus did not start";
        return;
    }
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(m_bus->process().readLine().trimmed()));

    std::ofstream(m_dir + "/service.conf") << "[account demo]\npassword = demo-password\npremium = 0\n";
    m_server = std::make_unique<DevServerProcess>(m_dir + "/service-data",
                                                  std::vector<std::string>{"--config", m_dir + "/service.conf"});
    SaveCredentials(CProfile("demo", "demo-password"));

    // The browser: a script that notes every address it is asked to open.
    const std::string browser = m_dir + "/browser";
    std::ofstream(browser) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << m_dir << "/browser.txt'\n";
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    m_env.insert(QStringLiteral("BROWSER"), QString::fromStdString(browser));
    m_env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(m_server->origin()));
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
}

RealDesktop::~RealDesktop()
{
    if (m_client && m_client->state() != QProcess::NotRunning) {
        m_client->terminate();
        if (!m_client->waitForFinished(10000)) {
            m_client->kill();
            m_client->waitForFinished(3000);
        }
    }
    m_client.reset();
    m_parts.clear();
    m_server.reset();
    m_bus.reset();
}

void RealDesktop::startWindowManager()
{
    if (InstalledProgram("openbox").empty()) {
        m_unavailable = "no openbox on this machine";
        return;
    }
    m_parts.push_back(std::make_unique<DesktopPart>("openbox", Args({"--sm-disable"}), m_env));
    // Running once it owns the screen's window-manager selection.
    if (!WaitFor([] { return RunTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                             std::string::npos; },
                 std::chrono::seconds(10)))
        m_unavailable = "openbox did not start";
}

void RealDesktop::startTrayHost()
{
    if (InstalledProgram("trayer").empty()) {
        m_unavailable = "no trayer on this machine";
        return;
    }
    m_parts.push_back(std::make_unique<DesktopPart>(
        "trayer", Args({"--edge", "top", "--align", "right", "--height", "32", "--widthtype", "request",
              "--SetDockType", "true", "--transparent", "false"}),
        m_env));
    if (!WaitFor([] { return !RunTool("xdotool", {"search", "--classname", "trayer"}).empty(); },
                 std::chrono::seconds(10)))
        m_unavailable = "trayer did not start";
}

void RealDesktop::startNotificationService()
{
    const std::string python = "/usr/bin/python3";
    if (::access(python.c_str(), X_OK) != 0 ||
        RunTool(python, {"-c", "import dbus, gi; print('ok')"}).find("ok") == std::string::npos) {
        m_unavailable = "no python3-dbus or python3-gi on this machine";
        return;
    }
    m_parts.push_back(std::make_unique<DesktopPart>(
        python, QStringList{QStringLiteral(QUAYLET_FAKE_NOTIFICATIONS), QString::fromStdString(m_dir + "/notes.txt")},
        m_env));
    if (!WaitFor([this] { return !NotificationRecord().empty(); }, std::chrono::seconds(10)))
        m_unavailable = "the notification service did not start";
}

void RealDesktop::runClient(const std::vector<std::string>& files)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(m_env);
    process->setWorkingDirectory(QString::fromStdString(m_dir + "/work"));
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(QStringLiteral(QUAYLET_CLIENT_PATH), Args(files));
    process->waitForStarted(5000);
    if (!m_client) {
        m_client = std::move(process);
        return;
    }
    process->waitForFinished(10000); // the running client took the files
}

std::string RealDesktop::MakePhoto(const std::string& name)
{
    QImage photo(1200, 800, QImage::Format_RGB32);
    photo.fill(QColor::fromHsv((++m_photos * 70) % 360, 200, 220));
    const std::string path = m_dir + "/" + name;
    photo.save(QString::fromStdString(path), "JPEG", 90);
    return path;
}

std::vector<std::string> RealDesktop::BrowserLaunches() const
{
    return Lines(ReadText(m_dir + "/browser.txt"));
}

std::vector<std::string> RealDesktop::NotificationRecord() const
{
    return Lines(ReadText(m_dir + "/notes.txt"));
}

void RealDesktop::ClickNotification(unsigned id)
{
    QProcess send;
    send.setProcessEnvironment(m_env);
    send.start(QStringLiteral("dbus-send"),
               Args({"--session", "--type=method_call", "--dest=org.freedesktop.Notifications",
                     "/org/freedesktop/Notifications", "test.Clicker.Click", "uint32:" + std::to_string(id)}));
    send.waitForFinished(5000);
}

std::string RealDesktop::ClientLog() const
{
    return ReadText(m_dir + "/work/Quaylet.log");
}

void Click(int x, int y, int button)
{
    RunTool("xdotool", {"mousemove", "--sync", std::to_string(x), std::to_string(y)});
    RunTool("xdotool", {"click", std::to_string(button)});
}

void Keys(const std::vector<std::string>& keys)
{
    for (const std::string& key : keys) {
        RunTool("xdotool", {"key", key});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace quaylet::test
