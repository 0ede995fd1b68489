// Real client processes on the offscreen platform, sharing one sandbox: the
// single-instance rule, activation, the "/q" replacement, the command line and
// the files a start hands to the running client.

#include "app/clientapp.h"
#include "app/singleinstance.h"
#include "core/version.h"
#include "platform/abspath.h"
#include "support/processes.h"
#include "support/sandbox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace quaylet;

namespace {

std::string logText()
{
    return test::ReadFile("Quaylet.log");
}

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

std::unique_ptr<QProcess> startClient(const QStringList& arguments = {})
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(QUAYLET_CLIENT_PATH), arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
}

SingleInstance probe()
{
    return SingleInstance(SingleInstance::defaultRuntimeDir(), QStringLiteral("KestrelioClient"));
}

// Waits until a client serves its channel, i.e. has finished starting up.
// A client built with the thread sanitizer on a busy machine takes well over
// ten seconds from its start to serving.
bool waitUntilServing(int startedLines)
{
    return waitUntil(
        [&] {
            return count(logText(), ") started") >= startedLines &&
                   probe().sendToRunning(QByteArrayLiteral("noop"), 200);
        },
        30000);
}

void closeRunningClient(QProcess& process)
{
    probe().sendToRunning(SingleInstance::kClose, 2000);
    EXPECT_TRUE(process.waitForFinished(10000));
}

// The running client as this process, with a window that notes what it is
// asked; its run starts the real program a second time with secondArgs.
struct Seen {
    int activations = 0;
    std::vector<std::string> queuedBeforeRun;
    std::vector<std::string> queued; // while the window runs
    std::string logBefore;
};

class NotingWindow final : public IMainWindow {
public:
    NotingWindow(Seen& seen, std::vector<std::string> secondArgs) : m_seen(seen), m_secondArgs(std::move(secondArgs)) {}
    void activate() override
    {
        ++m_seen.activations;
        m_loop.quit();
    }
    void requestClose() override { m_loop.quit(); }
    void queuePaths(const std::vector<std::string>& paths) override
    {
        auto& into = m_running ? m_seen.queued : m_seen.queuedBeforeRun;
        into.insert(into.end(), paths.begin(), paths.end());
    }
    int run() override
    {
        m_running = true;
        m_seen.logBefore = logText();
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QString::fromStdString(test::ExecScript(QUAYLET_CLIENT_PATH, m_secondArgs))});
        QTimer::singleShot(10000, &m_loop, &QEventLoop::quit);
        m_loop.exec();
        EXPECT_TRUE(second.waitForFinished(10000));
        EXPECT_EQ(second.exitCode(), 0);
        return 0;
    }

private:
    Seen& m_seen;
    std::vector<std::string> m_secondArgs;
    bool m_running = false;
    QEventLoop m_loop;
};

} // namespace

TEST(ClientCommandLine, OnlyTheFirstArgumentIsASwitchAndTheRestAreFiles)
{
    using Paths = std::vector<std::string>;
    struct Case {
        std::vector<std::string> args;
        bool show, replace, help, version;
        Paths paths;
        std::string unknownOption;
    } cases[] = {
        {{}, true, false, false, false, {}},
        {{"/s"}, false, false, false, false, {}},
        {{"/S"}, false, false, false, false, {}},
        {{"-s"}, false, false, false, false, {}},
        {{"--Hidden"}, false, false, false, false, {}},
        {{"/Q"}, true, true, false, false, {}},
        {{"-q"}, true, true, false, false, {}},
        {{"--replace"}, true, true, false, false, {}},
        {{"--help"}, true, false, true, false, {}},
        {{"-h"}, true, false, true, false, {}},
        {{"--version"}, true, false, false, true, {}},
        // A switch later on is a file name like any other.
        {{"x", "/q"}, true, false, false, false, {"/home/ann/x", "/q"}},
        {{"/sq"}, true, false, false, false, {"/sq"}},
        {{"/s", "a.jpg", "/tmp/b.mov", ""}, false, false, false, false, {"/home/ann/a.jpg", "/tmp/b.mov"}},
        {{"--", "-s", "caf\xe9 ../x.jpg"}, true, false, false, false, {"/home/ann/-s", "/home/ann/caf\xe9 ../x.jpg"}},
        {{"--replace", "line\nfeed.jpg"}, true, true, false, false, {"/home/ann/line\nfeed.jpg"}},
        // Anything else that looks like a switch is a usage error, wherever it
        // stands, until "--" says that only files follow.
        {{"--bogus"}, true, false, false, false, {}, "--bogus"},
        {{"-"}, true, false, false, false, {}, "-"},
        {{"a.jpg", "-s", "-x"}, true, false, false, false, {"/home/ann/a.jpg"}, "-s"},
        {{"-s", "--", "-x.jpg", "--"}, false, false, false, false, {"/home/ann/-x.jpg", "/home/ann/--"}},
        {{"a.jpg", "--", "-b.jpg"}, true, false, false, false, {"/home/ann/a.jpg", "/home/ann/-b.jpg"}},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& arg : c.args)
            shown += arg + " ";
        const ClientCommandLine line = ParseCommandLine(c.args, "/home/ann");
        EXPECT_EQ(line.show, c.show) << shown;
        EXPECT_EQ(line.replace, c.replace) << shown;
        EXPECT_EQ(line.help, c.help) << shown;
        EXPECT_EQ(line.version, c.version) << shown;
        EXPECT_EQ(line.paths, c.paths) << shown;
        EXPECT_EQ(line.unknownOption, c.unknownOption) << shown;
    }
}

TEST(ClientProcess, HelpAndVersionNeedNoDisplayAndLeaveEverythingAlone)
{
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    struct Case {
        QString argument;
        std::string expected;
    } cases[] = {
        {QStringLiteral("--help"), ClientUsage("quaylet")},
        {QStringLiteral("-H"), ClientUsage("quaylet")},
        {QStringLiteral("--version"), VersionLine("quaylet")},
    };
    for (const auto& c : cases) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUAYLET_CLIENT_PATH), {c.argument, QStringLiteral("photo.jpg")});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(process.readAllStandardOutput().toStdString(), c.expected);
    }
    EXPECT_NE(ClientUsage("quaylet").find("--hidden"), std::string::npos);
    EXPECT_FALSE(test::PathExists("Quaylet.log"));
    EXPECT_FALSE(test::PathExists(SingleInstance::defaultRuntimeDir().toStdString() + "/KestrelioClient.lock"));
}

TEST(ClientProcess, UnknownOptionIsAUsageErrorAndStartsNothing)
{
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    for (const QStringList& arguments : {QStringList{QStringLiteral("--bogus")},
                                         QStringList{QStringLiteral("photo.jpg"), QStringLiteral("--bogus")}}) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUAYLET_CLIENT_PATH), arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_EQ(process.readAllStandardError().toStdString(),
                  "quaylet: unknown option '--bogus'\nTry 'quaylet --help' for more information.\n");
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    }
    EXPECT_FALSE(test::PathExists("Quaylet.log"));
    EXPECT_FALSE(test::PathExists(SingleInstance::defaultRuntimeDir().toStdString() + "/KestrelioClient.lock"));
}

TEST(ClientProcess, LogsStartPlatformAndClosing)
{
    auto first = startClient();
    ASSERT_TRUE(waitUntilServing(1));
    closeRunningClient(*first);
    const std::string log = logText();
    const auto started = log.find("KestrelioClient(");
    ASSERT_NE(started, std::string::npos);
    EXPECT_EQ(started, 24u) << "the run's first line is the started line";
    EXPECT_NE(log.find(") started\r\n"), std::string::npos);
    EXPECT_NE(log.find("CKestrelioClientApp: Launching app on Linux"), std::string::npos);
    const std::string closing = "CKestrelioClientApp: Closing app\r\n";
    ASSERT_GE(log.size(), closing.size());
    EXPECT_EQ(log.substr(log.size() - closing.size()), closing);
}

// A launcher's standard error is the session's journal: the log's lines,
// which name the user's files, reach it only when the user asks.
TEST(ClientProcess, LogReachesStandardErrorOnlyWhenAskedFor)
{
    for (const bool asked : {false, true}) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QUAYLET_LOG_STDERR"));
        if (asked)
            env.insert(QStringLiteral("QUAYLET_LOG_STDERR"), QStringLiteral("1"));
        QProcess client;
        client.setProcessEnvironment(env);
        client.start(QStringLiteral(QUAYLET_CLIENT_PATH), QStringList{});
        ASSERT_TRUE(client.waitForStarted(5000));
        ASSERT_TRUE(waitUntilServing(asked ? 2 : 1));
        closeRunningClient(client);
        const std::string err = client.readAllStandardError().toStdString();
        if (asked)
            EXPECT_NE(err.find(") started\n"), std::string::npos) << err << "; plain line ends for a terminal";
        else
            EXPECT_EQ(err.find(") started"), std::string::npos) << err;
    }
}

TEST(ClientProcess, SecondClientLeavesTheLogAlone)
{
    auto first = startClient();
    ASSERT_TRUE(waitUntilServing(1));
    const std::string before = logText();

    auto second = startClient({QStringLiteral("/s")});
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    closeRunningClient(*first);
    // The second client wrote nothing: the log holds one run, which the first
    // client ended.
    const std::string after = logText();
    const std::string closing = "CKestrelioClientApp: Closing app\r\n";
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(count(after, ") started"), 1);
    EXPECT_EQ(count(after, "Closing app"), 1);
    EXPECT_TRUE(after.ends_with(closing));
}

TEST(ClientApp, SecondStartActivatesTheRunningWindow)
{
    Seen seen;
    CKestrelioClientApp app({}, [&seen](const MainWindowStart&) {
        return std::make_unique<NotingWindow>(seen, std::vector<std::string>{"/s"});
    });
    app.run();
    EXPECT_EQ(seen.activations, 1);
    EXPECT_TRUE(seen.queued.empty());
    const std::string closing = "CKestrelioClientApp: Closing app\r\n";
    EXPECT_EQ(logText().size(), seen.logBefore.size() + 24 + closing.size());
    EXPECT_TRUE(logText().ends_with(closing));
}

TEST(ClientApp, FilesNamedOnAnyStartReachTheRunningWindowByteForByte)
{
    const std::string here = platform::CurrentDirectory();
    const std::vector<std::string> second = {"-s", "photo.jpg", "caf\xe9.jpg", "line\nfeed.jpg", "/elsewhere/clip.mov"};
    Seen seen;
    CKestrelioClientApp app(ParseCommandLine({"/S", "first.jpg"}, here), [&](const MainWindowStart&) {
        return std::make_unique<NotingWindow>(seen, second);
    });
    app.run();
    EXPECT_EQ(seen.queuedBeforeRun, std::vector<std::string>{here + "/first.jpg"});
    const std::vector<std::string> expected = {here + "/photo.jpg", here + "/caf\xe9.jpg", here + "/line\nfeed.jpg",
                                               "/elsewhere/clip.mov"};
    EXPECT_EQ(seen.queued, expected);
    EXPECT_EQ(seen.activations, 1) << "the running window comes forward with the files";
}

TEST(ClientProcess, WithoutXdgRuntimeDirClientsStillMeet)
{
    qunsetenv("XDG_RUNTIME_DIR");
    auto first = startClient();
    ASSERT_TRUE(waitUntilServing(1));
    EXPECT_TRUE(test::PathExists(test::SandboxPath("tmp/quaylet-" + std::to_string(::getuid()) +
                                                   "/KestrelioClient.lock")));
    auto second = startClient();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(first->state(), QProcess::Running);

    auto replacing = startClient({QStringLiteral("/q")});
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(waitUntilServing(2));
    closeRunningClient(*replacing);
    EXPECT_EQ(count(logText(), ") started"), 2);
}

TEST(ClientProcess, RefusedPrivateFolderStillStartsAndSaysWhy)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const std::string folder = test::SandboxPath("tmp/quaylet-" + std::to_string(::getuid()));
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_all,
                                 std::filesystem::perm_options::replace);
    auto only = startClient();
    ASSERT_TRUE(waitUntil([] { return logText().find("no single-instance folder: ") != std::string::npos; }));
    EXPECT_EQ(only->state(), QProcess::Running);
    only->kill();
    EXPECT_TRUE(only->waitForFinished(5000));
}

TEST(ClientProcess, ReplaceSwitchClosesTheRunningClient)
{
    auto first = startClient();
    ASSERT_TRUE(waitUntilServing(1));
    auto second = startClient({QStringLiteral("/Q")});
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(waitUntilServing(2));
    EXPECT_EQ(second->state(), QProcess::Running);
    const std::string log = logText();
    EXPECT_LT(log.find("Closing app"), log.rfind(") started")) << "the old client closed before the new one started";
    closeRunningClient(*second);
}

TEST(ClientProcess, ReplaceSwitchWithNoneRunningStartsNormally)
{
    auto only = startClient({QStringLiteral("/q")});
    ASSERT_TRUE(waitUntilServing(1));
    closeRunningClient(*only);
}

TEST(ClientProcess, KilledClientLeavesNoBlockingLock)
{
    auto crashed = startClient();
    ASSERT_TRUE(waitUntilServing(1));
    ::kill(static_cast<pid_t>(crashed->processId()), SIGKILL);
    ASSERT_TRUE(crashed->waitForFinished(5000));
    auto next = startClient();
    ASSERT_TRUE(waitUntilServing(2));
    closeRunningClient(*next);
}

TEST(ClientProcess, SimultaneousStartsEndWithExactlyOneClient)
{
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(startClient());
    ASSERT_TRUE(waitUntilServing(1));
    ASSERT_TRUE(waitUntil([&] {
        int running = 0;
        for (auto& c : clients)
            running += c->state() == QProcess::Running && !c->waitForFinished(0) ? 1 : 0;
        return running == 1;
    }));
    EXPECT_EQ(count(logText(), ") started"), 1);
    for (auto& c : clients)
        if (c->state() == QProcess::Running)
            closeRunningClient(*c);
}

TEST(ClientProcess, StartedInTheHomeDirectoryLogsToTheStateFolder)
{
    // What a desktop launcher does: home as the working directory.
    qputenv("HOME", QFile::encodeName(QDir::currentPath()));
    auto client = startClient();
    const std::string stateLog = test::SandboxPath("state/quaylet/Quaylet.log");
    ASSERT_TRUE(waitUntil([&] {
        return test::ReadFile(stateLog).find(") started") != std::string::npos &&
               probe().sendToRunning(QByteArrayLiteral("noop"), 200);
    }));
    closeRunningClient(*client);
    EXPECT_TRUE(test::ReadFile(stateLog).ends_with("CKestrelioClientApp: Closing app\r\n"));
    EXPECT_FALSE(test::PathExists("Quaylet.log"));
}
