#include "core/systeminfo.h"

#include <fstream>
#include <sstream>
#include <sys/utsname.h>

namespace quaylet {

namespace {
std::string unquote(std::string v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}
} // namespace

std::string ParseOsReleaseName(const std::string& text)
{
    std::istringstream in(text);
    std::string line, pretty, name;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0)
            pretty = unquote(line.substr(12));
        else if (line.rfind("NAME=", 0) == 0)
            name = unquote(line.substr(5));
    }
    return pretty.empty() ? name : pretty;
}

SystemInfo::SystemInfo(const std::string& osReleasePath)
{
    utsname uts {};
    if (::uname(&uts) == 0)
        m_kernel = std::string(uts.sysname) + " " + uts.release;
    std::ifstream file(osReleasePath);
    if (file) {
        std::ostringstream text;
        text << file.rdbuf();
        m_distribution = ParseOsReleaseName(text.str());
    }
}

std::string SystemInfo::launchLine() const
{
    std::string platform = m_kernel.empty() ? "unknown OS" : m_kernel;
    if (!m_distribution.empty())
        platform += " (" + m_distribution + ")";
    return "CKestrelioClientApp: Launching app on " + platform;
}

} // namespace quaylet
