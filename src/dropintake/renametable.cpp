#include "dropintake/renametable.h"

#include "core/logfile.h"
#include "dropintake/pathtext.h"
#include "dropintake/tempname.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace quaylet {

RenameTable::RenameTable(std::string journalDirectory) : m_journal(std::move(journalDirectory)) {}

RenameTable::~RenameTable()
{
    std::lock_guard lock(m_mutex);
    std::vector<Entries::iterator> order;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        order.push_back(it);
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a->second.sequence > b->second.sequence; });
    for (const auto& it : order)
        renameBackLocked(it);
    m_folders.clear();
}

RenameTable::TempMove RenameTable::moveToTempName(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    const std::string temp = MakeTempName(path);
    // A folder part that is not valid UTF-8 cannot be mended by renaming the
    // last component: the path is skipped, as when the move fails.
    if (!platform::IsValidUtf8(temp))
        return {{}, "the name of a folder above it is not valid UTF-8"};
    if (!m_journal.record(temp, path)) {
        WriteLog(LogMilestone, "CFileDropListCtrl: cannot write the rename journal; %s is skipped",
                 temp.c_str());
        return {{}, "its name is not valid UTF-8, and the journal that would give the name back after a "
                    "crash cannot be written"};
    }
    if (!RenameNoReplace(path, temp)) {
        const int error = errno;
        m_journal.forget(temp);
        return {{}, "its name is not valid UTF-8, and it could not be given a temporary name: " +
                        std::string(std::strerror(error))};
    }
    m_entries[temp] = Entry{path, m_nextSequence++};
    return {temp, {}};
}

void RenameTable::renameBackLocked(Entries::iterator it)
{
    const std::string& temp = it->first;
    const std::string& original = it->second.original;
    // When the original name has been taken meanwhile the file keeps its
    // temporary name: replacing what is there now would lose a user's file.
    if (!RenameNoReplace(temp, original))
        WriteLog(LogTrace, "Error rename file back: %s from %s", original.c_str(), temp.c_str());
    m_journal.forget(temp);
    m_entries.erase(it);
    if (m_entries.empty() && m_folders.empty())
        m_journal.clear();
}

void RenameTable::renameBack(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(path);
    if (it != m_entries.end())
        renameBackLocked(it);
}

void RenameTable::beginFolderSearch(const std::string& folder)
{
    std::lock_guard lock(m_mutex);
    ++m_folders[folder].searches;
}

void RenameTable::releaseFolderLocked(std::map<std::string, FolderHold>::iterator it)
{
    if (it->second.searches > 0 || it->second.rows > 0)
        return;
    const std::string folder = it->first;
    m_folders.erase(it);
    const auto entry = m_entries.find(folder);
    if (entry != m_entries.end())
        renameBackLocked(entry);
}

void RenameTable::endFolderSearch(const std::string& folder)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_folders.find(folder);
    if (it == m_folders.end())
        return;
    if (it->second.searches > 0)
        --it->second.searches;
    releaseFolderLocked(it);
}

std::vector<std::map<std::string, RenameTable::FolderHold>::iterator>
RenameTable::foldersOfLocked(const std::string& path)
{
    // A renamed folder may lie inside another: both hold the row. Keys are in
    // byte order, so the deepest comes last.
    std::vector<std::map<std::string, FolderHold>::iterator> holders;
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it) {
        const std::string& folder = it->first;
        if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/')
            holders.push_back(it);
    }
    return holders;
}

void RenameTable::rowQueued(const std::string& queuedPath)
{
    std::lock_guard lock(m_mutex);
    for (const auto& it : foldersOfLocked(queuedPath))
        ++it->second.rows;
}

void RenameTable::rowNotQueued(const std::string& queuedPath)
{
    std::lock_guard lock(m_mutex);
    rowGoneLocked(queuedPath);
}

void RenameTable::rowGoneLocked(const std::string& queuedPath)
{
    // Deepest first: an inner folder gets its name back while the path of its
    // outer folder still is the one it was recorded under.
    auto holders = foldersOfLocked(queuedPath);
    for (auto it = holders.rbegin(); it != holders.rend(); ++it) {
        if ((*it)->second.rows > 0) {
            --(*it)->second.rows;
            releaseFolderLocked(*it);
        }
    }
}

void RenameTable::rowRemoved(const std::string& queuedPath, bool renamed)
{
    std::lock_guard lock(m_mutex);
    if (renamed) {
        const auto it = m_entries.find(queuedPath);
        if (it != m_entries.end())
            renameBackLocked(it);
    }
    rowGoneLocked(queuedPath);
}

bool RenameTable::contains(const std::string& tempPath) const
{
    std::lock_guard lock(m_mutex);
    return m_entries.count(tempPath) != 0;
}

std::size_t RenameTable::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

std::string RenameTable::userPathOf(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    // The entry for path itself, else the nearest renamed folder above it
    // (keys are in byte order, so every folder above path sorts before it).
    // An original recorded inside a renamed folder names that folder by its
    // temporary name: it is looked up in turn, at most once per entry.
    std::string user = path;
    for (std::size_t step = 0; step < m_entries.size(); ++step) {
        std::string mapped;
        for (auto it = m_entries.upper_bound(user); it != m_entries.begin() && mapped.empty();) {
            --it;
            const std::string& temp = it->first;
            if (user == temp)
                mapped = it->second.original;
            else if (user.size() > temp.size() && user.compare(0, temp.size(), temp) == 0 && user[temp.size()] == '/')
                mapped = it->second.original + user.substr(temp.size());
        }
        if (mapped.empty())
            break;
        user = std::move(mapped);
    }
    return user;
}

std::string RenameTable::originalOf(const std::string& tempPath) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(tempPath);
    return it == m_entries.end() ? std::string{} : it->second.original;
}

} // namespace quaylet
