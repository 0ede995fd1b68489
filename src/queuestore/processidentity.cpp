#include "queuestore/processidentity.h"

#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace quaylet {

namespace {

std::string readBootId()
{
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

const std::string& bootId()
{
    static const std::string id = readBootId();
    return id;
}

} // namespace

std::optional<ProcessIdentity> RunningProcessIdentity(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    // The command name may hold spaces and parentheses: the fields after it
    // start behind the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string state;
    fields >> state;
    if (state == "Z" || state == "X")
        return std::nullopt;
    // Field 22 is the start time; the state was field 3.
    std::string field;
    for (int index = 4; index <= 22; ++index) {
        if (!(fields >> field))
            return std::nullopt;
    }
    ProcessIdentity identity;
    identity.pid = pid;
    identity.startTicks = std::stoll(field);
    identity.bootId = bootId();
    return identity;
}

ProcessIdentity OwnProcessIdentity()
{
    // Read again in a forked child: it is another process.
    static std::mutex mutex;
    static ProcessIdentity own; // guarded by mutex
    std::lock_guard lock(mutex);
    const pid_t pid = ::getpid();
    if (own.pid != pid)
        own = RunningProcessIdentity(pid).value_or(ProcessIdentity {pid, 0, bootId()});
    return own;
}

bool ProcessIsRunning(const ProcessIdentity& identity)
{
    if (identity.bootId != bootId())
        return false;
    const auto running = RunningProcessIdentity(static_cast<pid_t>(identity.pid));
    return running && *running == identity;
}

} // namespace quaylet
