#include "core/logfolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet {

namespace {

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

bool sameFile(const char* a, const char* b)
{
    struct stat sa{};
    struct stat sb{};
    return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Creates every missing folder of the path; new ones are the user's alone.
bool makeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string ChooseLogFolder(const WorkingDirFacts& facts)
{
    if (!facts.isHome && facts.writable)
        return {};
    std::string base = facts.stateHome;
    if (!isAbsolute(base)) {
        if (!isAbsolute(facts.homeDir))
            return {};
        base = facts.homeDir + "/.local/state";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/quaylet";
}

WorkingDirFacts CurrentWorkingDirFacts()
{
    WorkingDirFacts facts;
    facts.homeDir = homeDirectory();
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr)
        facts.stateHome = state;
    facts.isHome = !facts.homeDir.empty() && sameFile(".", facts.homeDir.c_str());
    // A deleted current directory fails this too.
    facts.writable = ::faccessat(AT_FDCWD, ".", W_OK | X_OK, AT_EACCESS) == 0;
    return facts;
}

std::string LogFilePath(const std::string& fileName)
{
    const std::string folder = ChooseLogFolder(CurrentWorkingDirFacts());
    if (folder.empty() || !makeFolders(folder))
        return fileName;
    // A folder left by an earlier run may have other rights; the log holds
    // file names and account names, so it stays private.
    ::chmod(folder.c_str(), 0700);
    return folder + "/" + fileName;
}

} // namespace quaylet
