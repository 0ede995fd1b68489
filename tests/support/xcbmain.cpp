// Test main for the tests of real X11 windows: starts a private Xvfb (no
// window manager, so nothing decorates, places or insets a window) and runs
// the tests on Qt's xcb platform against it. Without Xvfb the tests skip.

#include "support/sandbox.h"
#include "support/xcbdisplay.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quaylet::test {

namespace {
std::string g_unavailable = "not started";

// The X server; stopped and reaped when the tests are done.
class XvfbServer final {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }

    // The display's name (":N"), or none with the reason in g_unavailable.
    std::optional<std::string> start()
    {
        const std::string program = FindProgram("Xvfb");
        if (program.empty()) {
            g_unavailable = "no Xvfb on this machine";
            return std::nullopt;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            g_unavailable = "no pipe for Xvfb";
            return std::nullopt;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execl(program.c_str(), program.c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen",
                    "0", "1024x768x24", "-br", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd reader{fds[0], POLLIN, 0};
        // Xvfb writes its display number once it accepts clients.
        while (::poll(&reader, 1, 10000) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        ::close(fds[0]);
        if (number.empty()) {
            g_unavailable = "Xvfb did not report its display";
            return std::nullopt;
        }
        return ":" + number;
    }

private:
    static std::string FindProgram(const char* name)
    {
        const char* path = std::getenv("PATH");
        std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= dirs.size()) {
            const std::size_t end = std::min(dirs.find(':', start), dirs.size());
            const std::string candidate = dirs.substr(start, end - start) + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            start = end + 1;
        }
        return {};
    }

    pid_t m_pid = -1;
};

} // namespace

const std::string& XcbUnavailable()
{
    return g_unavailable;
}

} // namespace quaylet::test

// Qt's xcb platform asks libdbus for the session bus once per process, and
// libdbus keeps that allocation for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS(); // listing needs no display
    const std::string sandbox = quaylet::test::SandboxDir();
    int result = 0;
    {
        quaylet::test::XvfbServer server;
        const std::optional<std::string> display = server.start();
        if (display) {
            ::setenv("DISPLAY", display->c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::unsetenv("WAYLAND_DISPLAY");
            quaylet::test::g_unavailable.clear();
            QApplication app(argc, argv);
            result = RUN_ALL_TESTS();
        } else {
            result = RUN_ALL_TESTS();
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(sandbox, ec);
    return result;
}
