#pragma once

// A child process started from an argument list (never from a re-parsed command
// text), in a process group of its own so that stopping it also stops whatever
// it started. The end of the child is waitable beside events; the child is
// reaped here, so no zombie outlives this object.
//
// Thread use: start() and the destructor belong to the owner; stopGroup(),
// hasEnded(), exitWaitable() and waitExit() may be called from any thread.

#include "platform/processexit.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quaylet::platform {

// Finds a program the way command lines are resolved here: a name with a '/'
// is used as it is; otherwise the directory of this executable, then the
// current directory, then each directory of PATH. Empty when nothing found.
std::string FindProgram(const std::string& name);

// Descriptors for the child's standard streams; -1 means /dev/null.
struct ChildStdio {
    int in = -1;
    int out = -1;
    int err = -1;
};

class ChildProcess final {
public:
    ChildProcess() = default;
    // A child still running is stopped (its whole group); the child is reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program name, looked up with FindProgram. Returns 0 on
    // success, else the errno (ENOENT when the program is not found).
    int start(const std::vector<std::string>& argv, const ChildStdio& stdio = {});

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // Signalled once the child has ended; valid after a successful start().
    Waitable& exitWaitable() { return *m_exit; }
    bool hasEnded() const { return m_exit && m_exit->hasEnded(); }

    // Sends SIGKILL to the child's process group (while the child is not yet
    // reaped, so the group id cannot belong to anyone else).
    void stopGroup();

    // Waits for the end (at most timeout, forever when none), reaps the child
    // and returns its wait status; nullopt when it has not ended in time.
    std::optional<int> waitExit(std::optional<std::chrono::milliseconds> timeout = std::nullopt);

    // True when the child ended by exit(0).
    static bool exitedCleanly(int waitStatus);

private:
    pid_t m_pid = -1;
    std::unique_ptr<ProcessExit> m_exit;
    mutable std::mutex m_reapMutex; // guards m_status and the reaping itself
    std::optional<int> m_status;    // set once reaped
};

} // namespace quaylet::platform
