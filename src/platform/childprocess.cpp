#include "platform/childprocess.h"

#include "platform/abspath.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaylet::platform {

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string ownDirectory()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// With its trailing '/', empty when it cannot be read.
std::string currentDirectory()
{
    const std::string dir = CurrentDirectory();
    return dir.empty() ? dir : dir + '/';
}

} // namespace

std::string FindProgram(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    std::vector<std::string> dirs{ownDirectory(), currentDirectory()};
    if (const char* path = std::getenv("PATH")) {
        std::string all(path);
        size_t start = 0;
        for (;;) {
            const size_t colon = all.find(':', start);
            std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            // An empty entry means the current directory, which is already listed.
            if (!dir.empty())
                dirs.push_back(dir.back() == '/' ? dir : dir + '/');
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    for (const auto& dir : dirs) {
        if (dir.empty())
            continue;
        if (isExecutableFile(dir + name))
            return dir + name;
    }
    return {};
}

ChildProcess::~ChildProcess()
{
    if (!started())
        return;
    std::optional<int> status;
    {
        std::lock_guard lock(m_reapMutex);
        status = m_status;
    }
    if (!status) {
        // Whatever the child left behind in its group goes with it.
        stopGroup();
        waitExit();
    }
}

int ChildProcess::start(const std::vector<std::string>& argv, const ChildStdio& stdio)
{
    if (started() || argv.empty())
        return EINVAL;
    const std::string program = FindProgram(argv[0]);
    if (program.empty())
        return ENOENT;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    const int fds[3] = {stdio.in, stdio.out, stdio.err};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null", target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    // Own process group; default signal dispositions and an empty mask, whatever
    // this process ignores or blocks.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return rc;
    m_pid = pid;
    m_exit = std::make_unique<ProcessExit>(pid);
    return 0;
}

void ChildProcess::stopGroup()
{
    if (!started())
        return;
    std::lock_guard lock(m_reapMutex);
    if (m_status)
        return; // reaped: the ids may already belong to someone else
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL); // in case the child left its group
}

std::optional<int> ChildProcess::waitExit(std::optional<std::chrono::milliseconds> timeout)
{
    if (!started())
        return std::nullopt;
    if (timeout) {
        if (!waitForAny({m_exit.get()}, *timeout))
            return std::nullopt;
    } else {
        waitForAny({m_exit.get()});
    }
    std::lock_guard lock(m_reapMutex);
    if (!m_status) {
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &status, 0);
        } while (r < 0 && errno == EINTR);
        m_status = r == m_pid ? status : -1;
    }
    return m_status;
}

bool ChildProcess::exitedCleanly(int waitStatus)
{
    return waitStatus >= 0 && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

} // namespace quaylet::platform
