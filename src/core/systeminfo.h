#pragma once

// Names the platform the client runs on, for the start-up line of the log.

#include <string>

namespace quaylet {

class SystemInfo final {
public:
    // Reads uname() and /etc/os-release (or the given file) at once.
    explicit SystemInfo(const std::string& osReleasePath = "/etc/os-release");

    const std::string& kernel() const { return m_kernel; }             // e.g. "Linux 6.1.0-18-amd64"
    const std::string& distribution() const { return m_distribution; } // PRETTY_NAME, may be empty
    // "CKestrelioClientApp: Launching app on <platform>"
    std::string launchLine() const;

private:
    std::string m_kernel;
    std::string m_distribution;
};

// PRETTY_NAME (or NAME) from the text of an os-release file, unquoted.
std::string ParseOsReleaseName(const std::string& text);

} // namespace quaylet
