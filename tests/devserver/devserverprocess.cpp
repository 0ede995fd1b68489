#include "devserver/devserverprocess.h"

#include "support/sandbox.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace quaylet::test {

std::string DevServerProcess::BinaryPath()
{
    return QUAYLET_DEVSERVER_PATH;
}

DevServerProcess::DevServerProcess(const std::string& dataDir, const std::vector<std::string>& extraArgs)
{
    static int counter = 0;
    m_stderrPath = SandboxPath("devserver-stderr-" + std::to_string(++counter) + ".txt");
    std::vector<std::string> args = {BinaryPath(), "--port", "0", "--data", dataDir};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, m_stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    m_stdout = out[0];
    if (rc != 0) {
        m_pid = -1;
        return;
    }
    // The first line of its output is the port.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_stdout, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char c = 0;
        if (::read(m_stdout, &c, 1) != 1)
            break;
        line += c;
    }
    m_port = std::atoi(line.c_str());
}

DevServerProcess::~DevServerProcess()
{
    terminate();
    if (m_stdout >= 0)
        ::close(m_stdout);
}

int DevServerProcess::terminate()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    // Bounded: a server that ignores SIGTERM is killed after five seconds.
    for (int i = 0; i < 500; ++i) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return status;
        }
        ::usleep(10000);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return -1;
}

std::string DevServerProcess::errorOutput() const
{
    return ReadFile(m_stderrPath);
}

} // namespace quaylet::test
