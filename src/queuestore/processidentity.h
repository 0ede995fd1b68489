#pragma once

// Who owns a row of the queue store: a process id alone is reused by the
// system, so a process is named by its id, the moment it started (clock ticks
// since boot) and the boot it belongs to. A row whose owner is no longer
// running under that name is free for another process to take.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quaylet {

struct ProcessIdentity {
    int64_t pid = 0;
    int64_t startTicks = 0;
    std::string bootId;

    bool operator==(const ProcessIdentity&) const = default;
};

// This process.
ProcessIdentity OwnProcessIdentity();
// The running process with this id, if any (a zombie counts as gone).
std::optional<ProcessIdentity> RunningProcessIdentity(pid_t pid);
// Whether the process named by identity is still running.
bool ProcessIsRunning(const ProcessIdentity& identity);

} // namespace quaylet
