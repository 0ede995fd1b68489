#include "platform/autostart.h"

#include "platform/uniquefd.h"
#include "platform/utf8.h"
#include "platform/writeall.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quaylet::platform {

namespace {

constexpr const char* kEntryName = "GlimmerlyUtility.desktop";

std::string ConfigHomeFromEnvironment()
{
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        return std::string(user->pw_dir) + "/.config";
    return {};
}

// Creates the folder and the missing ones above it, private as the base
// directory rules ask for folders they create.
bool MakeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An argument of an Exec line: quoted, with the characters that stay special
// inside quotes escaped, and '%' doubled so it is no field code.
std::string QuotedExecArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    return quoted + '"';
}

// The escapes every string value of a desktop entry goes through, applied on
// top of the Exec quoting (so a literal backslash ends up as four).
std::string EscapedValue(const std::string& value)
{
    std::string escaped;
    for (const char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string EntryText(const std::string& programPath)
{
    // TryExec: once the program is gone (the package purged), the desktop
    // skips the entry instead of failing at every log-in.
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Glimmerly\n"
           "Icon=example.glimmerly.Quaylet\n"
           "TryExec=" +
           EscapedValue(programPath) +
           "\n"
           "Exec=" +
           EscapedValue(QuotedExecArgument(programPath) + " /s") +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

// A staged copy that goes away unless it was put in place.
class StagedFile final {
public:
    explicit StagedFile(std::string pattern)
        : m_path(std::move(pattern)), m_fd(::mkostemp(m_path.data(), O_CLOEXEC)), m_created(m_fd.valid())
    {
    }
    ~StagedFile()
    {
        if (m_created && !m_placed)
            ::unlink(m_path.c_str());
    }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    bool commit(const std::string& bytes, const std::string& target)
    {
        if (!m_fd.valid() || !WriteAll(m_fd.get(), bytes) || ::fchmod(m_fd.get(), 0644) != 0 ||
            ::fsync(m_fd.get()) != 0 || ::close(m_fd.release()) != 0)
            return false;
        m_placed = ::rename(m_path.c_str(), target.c_str()) == 0;
        return m_placed;
    }

private:
    std::string m_path;
    UniqueFd m_fd;
    const bool m_created;
    bool m_placed = false;
};

} // namespace

AutostartEntry::AutostartEntry() : m_configHome(ConfigHomeFromEnvironment()) {}

AutostartEntry::AutostartEntry(std::string configHome) : m_configHome(std::move(configHome)) {}

std::string AutostartEntry::path() const
{
    return m_configHome + "/autostart/" + kEntryName;
}

bool AutostartEntry::exists() const
{
    struct stat info {};
    return !m_configHome.empty() && ::lstat(path().c_str(), &info) == 0;
}

bool AutostartEntry::write(const std::string& programPath)
{
    // A desktop entry is UTF-8 text of lines: other bytes cannot be written.
    if (m_configHome.empty() || programPath.empty() || !IsValidUtf8(programPath) ||
        programPath.find('\0') != std::string::npos)
        return false;
    const std::string folder = m_configHome + "/autostart";
    if (!MakeFolders(folder))
        return false;
    // A name no desktop reads as an entry while it is being written.
    StagedFile staged(folder + "/." + kEntryName + ".XXXXXX");
    return staged.commit(EntryText(programPath), path());
}

bool AutostartEntry::remove()
{
    return !m_configHome.empty() && (::unlink(path().c_str()) == 0 || errno == ENOENT);
}

} // namespace quaylet::platform
