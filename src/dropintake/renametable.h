#pragma once

// The record of every file or folder the drop intake moved to a temporary
// name, mapping the temporary path to the path it had when it was dropped.
//
// Threads: the intake uses it on the window thread while a drop is handled;
// removing a queue row uses it from the transfer thread as well. Every use
// takes the one lock inside, and a rename back holds it from the lookup
// through the move to the erasure of the entry.

#include "dropintake/renamejournal.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet {

class RenameTable final {
public:
    // journalDirectory: where this process's journal goes; empty for none.
    explicit RenameTable(std::string journalDirectory);
    // Renames back whatever is still renamed, newest first: the client never
    // leaves a user's file or folder under a temporary name.
    ~RenameTable();
    RenameTable(const RenameTable&) = delete;
    RenameTable& operator=(const RenameTable&) = delete;

    struct TempMove {
        std::string tempPath; // empty when the file was not moved
        std::string failure;  // why not, in words
    };
    // Moves path to a free "TempFile_<n>" name beside it (never replacing
    // anything) and records it. Not moved when the move fails, the journal
    // cannot be written, or the temporary path would itself not be valid UTF-8.
    TempMove moveToTempName(const std::string& path);

    // Renames the entry whose temporary path is exactly path back to its
    // dropped name and forgets it. A failed move is logged and forgotten all
    // the same, as is an entry whose original name has been taken meanwhile.
    void renameBack(const std::string& path);

    // A renamed folder keeps its temporary name while it is searched and while
    // files found in it wait in the queue; it gets its name back when both are over.
    void beginFolderSearch(const std::string& folder);
    void endFolderSearch(const std::string& folder);
    // A file below a renamed folder is about to be queued / was not queued after all.
    void rowQueued(const std::string& queuedPath);
    void rowNotQueued(const std::string& queuedPath);
    // A queue row has gone: its own file is renamed back when renamed is set,
    // then the renamed folder holding it when this was its last row.
    void rowRemoved(const std::string& queuedPath, bool renamed);

    bool contains(const std::string& tempPath) const;
    std::size_t size() const;
    // The original path of an entry, empty when there is none.
    std::string originalOf(const std::string& tempPath) const;
    // The path as the user named it: a renamed file's or folder's original
    // name in place of its temporary one; other paths as they are.
    std::string userPathOf(const std::string& path) const;
    const std::string& journalPath() const { return m_journal.path(); }

private:
    struct Entry {
        std::string original;
        uint64_t sequence = 0; // rename order, for giving names back newest first
    };
    struct FolderHold {
        int searches = 0;
        std::size_t rows = 0;
    };
    using Entries = std::map<std::string, Entry>; // keys in plain byte order

    void renameBackLocked(Entries::iterator it);
    void releaseFolderLocked(std::map<std::string, FolderHold>::iterator it);
    // A row below a renamed folder has gone: the folder may get its name back.
    void rowGoneLocked(const std::string& queuedPath);
    // The renamed folders holding path, outermost first.
    std::vector<std::map<std::string, FolderHold>::iterator> foldersOfLocked(const std::string& path);

    mutable std::mutex m_mutex;
    Entries m_entries;
    std::map<std::string, FolderHold> m_folders;
    uint64_t m_nextSequence = 0;
    RenameJournal m_journal;
};

} // namespace quaylet
