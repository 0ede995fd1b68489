#pragma once

// Runs the real quaylet-devserver binary on a free loopback port for a test
// and stops it with SIGTERM at the end.

#include <string>
#include <sys/types.h>
#include <vector>

namespace quaylet::test {

class DevServerProcess final {
public:
    // extraArgs are added after "--port 0 --data <dataDir>".
    DevServerProcess(const std::string& dataDir, const std::vector<std::string>& extraArgs = {});
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // What the server wrote to standard error so far (its request log).
    std::string errorOutput() const;

    // Sends SIGTERM and waits; returns the exit status as from waitpid (-1 on failure).
    int terminate();

    static std::string BinaryPath();

private:
    pid_t m_pid = -1;
    int m_port = 0;
    int m_stdout = -1;
    std::string m_stderrPath;
};

} // namespace quaylet::test
