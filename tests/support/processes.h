#pragma once

// The processes a test started, read from the process listing: to check that
// whatever a test stopped is really gone.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quaylet::test {

struct ChildInfo {
    pid_t pid;
    std::string name;
    char state;
};
// The direct children of this process (zombies included).
std::vector<ChildInfo> ChildrenOfThisProcess();
// True when a process with this pid exists and is not a zombie.
bool ProcessAlive(pid_t pid);
// The processes of the group that are not zombies.
std::vector<pid_t> LiveProcessesInGroup(pid_t group);
// Waits (at most timeout) until no process of the group is alive; true then.
bool WaitForGroupGone(pid_t group, std::chrono::milliseconds timeout);

// A QString cannot carry an argument that is not UTF-8: a script for
// "/bin/sh -c" that rebuilds args from octal escapes, byte for byte, and then
// becomes program (exec, so the process is the program itself).
std::string ExecScript(const std::string& program, const std::vector<std::string>& args);

} // namespace quaylet::test
