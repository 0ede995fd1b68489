#include "support/processes.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace quaylet::test {

namespace {

struct StatLine {
    pid_t pid = 0;
    std::string name;
    char state = '?';
    pid_t parent = 0;
    pid_t group = 0;
};

bool readStat(pid_t pid, StatLine& out)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return false;
    // The name is in parentheses and may itself hold blanks and parentheses.
    const auto open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 > stat.size())
        return false;
    out.pid = pid;
    out.name = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 2));
    return static_cast<bool>(rest >> out.state >> out.parent >> out.group);
}

template <typename F>
void forEachProcess(F f)
{
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return;
    while (dirent* e = ::readdir(dir)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        StatLine line;
        if (pid > 0 && readStat(pid, line))
            f(line);
    }
    ::closedir(dir);
}

} // namespace

std::vector<ChildInfo> ChildrenOfThisProcess()
{
    std::vector<ChildInfo> children;
    const pid_t self = ::getpid();
    forEachProcess([&](const StatLine& p) {
        if (p.parent == self)
            children.push_back({p.pid, p.name, p.state});
    });
    return children;
}

bool ProcessAlive(pid_t pid)
{
    StatLine line;
    return readStat(pid, line) && line.state != 'Z';
}

std::vector<pid_t> LiveProcessesInGroup(pid_t group)
{
    std::vector<pid_t> members;
    forEachProcess([&](const StatLine& p) {
        if (p.group == group && p.state != 'Z')
            members.push_back(p.pid);
    });
    return members;
}

bool WaitForGroupGone(pid_t group, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!LiveProcessesInGroup(group).empty()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string ExecScript(const std::string& program, const std::vector<std::string>& args)
{
    std::string script = "set --\n";
    for (const std::string& arg : args) {
        script += "a=$(printf '";
        for (const unsigned char c : arg) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            script += octal;
        }
        // The x keeps trailing line feeds from being eaten by the substitution.
        script += "x'); set -- \"$@\" \"${a%x}\"\n";
    }
    return script + "exec '" + program + "' \"$@\"\n";
}

} // namespace quaylet::test
