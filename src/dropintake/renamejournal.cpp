#include "dropintake/renamejournal.h"

#include "core/logfile.h"
#include "dropintake/tempname.h"
#include "platform/hexdigit.h"
#include "platform/uniquedir.h"
#include "platform/writeall.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quaylet {

namespace {

constexpr const char* kSuffix = ".journal";
constexpr const char* kNewPrefix = ".new-";

std::string hexEncode(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

bool hexDecode(std::string_view hex, std::string& out)
{
    if (hex.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = platform::HexDigitValue(hex[i]), lo = platform::HexDigitValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return !out.empty();
}

bool makePrivateDirectories(const std::string& directory)
{
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    struct stat st {};
    return ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool syncFolder(const std::string& directory)
{
    const platform::UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A file system that cannot sync folders (EINVAL) offers nothing better.
    return fd.valid() && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Replays one journal: "R <temp> <original>" records a rename, "D <temp>"
// its undoing. What is still recorded is renamed back, newest first.
void restoreJournal(int fd, const std::string& journalPath)
{
    const std::string text = readAll(fd);
    std::vector<std::pair<std::string, std::string>> live; // in rename order
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break; // a torn last line: the rename it announced never started
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        std::string temp, original;
        if (line.starts_with("R ")) {
            const std::size_t space = line.find(' ', 2);
            if (space == std::string_view::npos || !hexDecode(line.substr(2, space - 2), temp) ||
                !hexDecode(line.substr(space + 1), original))
                continue;
            std::erase_if(live, [&](const auto& e) { return e.first == temp; });
            live.emplace_back(std::move(temp), std::move(original));
        } else if (line.starts_with("D ")) {
            if (hexDecode(line.substr(2), temp))
                std::erase_if(live, [&](const auto& e) { return e.first == temp; });
        }
    }
    for (auto it = live.rbegin(); it != live.rend(); ++it) {
        struct stat st {};
        if (::lstat(it->first.c_str(), &st) != 0)
            continue; // the rename never happened, or was undone already
        if (RenameNoReplace(it->first, it->second))
            WriteLog(LogMilestone, "CFileDropListCtrl: name given back: %s from %s", it->second.c_str(),
                     it->first.c_str());
        else
            WriteLog(LogTrace, "Error rename file back: %s from %s", it->second.c_str(), it->first.c_str());
    }
    ::unlink(journalPath.c_str());
}

} // namespace

RenameJournal::RenameJournal(std::string directory) : m_directory(std::move(directory)) {}

RenameJournal::~RenameJournal()
{
    if (m_fd.valid())
        ::unlink(m_path.c_str());
}

std::string RenameJournal::DefaultDirectory()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::string(state) + "/quaylet/renames";
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return std::string(home) + "/.local/state/quaylet/renames";
    return {};
}

bool RenameJournal::ensureOpen()
{
    if (m_fd.valid())
        return true;
    if (m_directory.empty() || !makePrivateDirectories(m_directory))
        return false;
    // Made under a name the restorer ignores, locked, then given its real name,
    // so no restorer ever sees it unlocked.
    std::string temp = m_directory + "/" + kNewPrefix + "XXXXXX";
    platform::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC | O_APPEND));
    if (!fd.valid())
        return false;
    const std::string final =
        m_directory + "/" + std::to_string(::getpid()) + "-" + temp.substr(temp.size() - 6) + kSuffix;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::rename(temp.c_str(), final.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The journal's name must outlast a power cut as well as its records do,
    // or a later start would never find it.
    if (!syncFolder(m_directory)) {
        ::unlink(final.c_str());
        return false;
    }
    m_fd = std::move(fd);
    m_path = final;
    return true;
}

bool RenameJournal::append(const std::string& line)
{
    if (!ensureOpen())
        return false;
    return platform::WriteAll(m_fd.get(), line);
}

bool RenameJournal::appendDurably(const std::string& line)
{
    // On the disk before the rename it announces: after a power cut the
    // rename may have reached the disk while a record still in the page
    // cache would not have.
    return append(line) && ::fsync(m_fd.get()) == 0;
}

bool RenameJournal::record(const std::string& tempPath, const std::string& originalPath)
{
    if (m_directory.empty())
        return true;
    return appendDurably("R " + hexEncode(tempPath) + " " + hexEncode(originalPath) + "\n");
}

void RenameJournal::forget(const std::string& tempPath)
{
    if (m_fd.valid())
        append("D " + hexEncode(tempPath) + "\n");
}

void RenameJournal::clear()
{
    if (m_fd.valid() && ::ftruncate(m_fd.get(), 0) != 0)
        WriteLog(LogTrace, "CFileDropListCtrl: cannot empty %s", m_path.c_str());
}

void RenameJournal::RestoreEnded(const std::string& directory)
{
    if (directory.empty())
        return;
    const platform::UniqueDir dir = platform::OpenDir(directory);
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.ends_with(kSuffix) || name.starts_with(kNewPrefix))
            names.push_back(name);
    }
    for (const std::string& name : names) {
        const std::string path = directory + "/" + name;
        platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (!fd.valid())
            continue;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // its process still runs and will give the names back itself
        if (name.starts_with(kNewPrefix))
            ::unlink(path.c_str()); // a journal whose creation was cut short: empty
        else
            restoreJournal(fd.get(), path);
    }
}

} // namespace quaylet
