#pragma once

// The drop intake: turns a drop of files and folders into one callback per
// acceptable file. It follows shortcuts (symbolic links and desktop links),
// searches folders depth first, filters by extension, and gives a dropped file
// or folder whose name is not valid UTF-8 a temporary "TempFile_<n>" name
// beside it while it is queued, renaming it back when its queue row goes.
//
// Threads: SetDropMode and the drop run on the window thread. RenameBack and
// QueuedRowRemoved may run on any thread; they only touch the rename table,
// which has a lock of its own.

#include "dropintake/renametable.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace quaylet {

enum DropModeBits : uint32_t {
    DropAcceptFiles = 0x01,
    DropAcceptFolders = 0x02,
    DropFilterExtension = 0x10,
    DropUseCallback = 0x20,
};

enum DropPathType : uint32_t {
    PathTypeFolder = 0x40,
    PathTypeFile = 0x80,
};

class CFileDropListCtrl;

// Receives each accepted file: the intake, the file's path (its real name),
// the path type, and whether the intake moved it to a temporary name in this
// drop. Returns 0 when it queued the file, 1 when it did not.
using DropCallback =
    std::function<int(CFileDropListCtrl& list, const std::string& path, uint32_t& pathType, bool renamed)>;

struct DropListMode {
    uint32_t mask = DropAcceptFiles | DropAcceptFolders;
    std::vector<std::string> extensions; // with the leading dot, upper case
    DropCallback callback;
};

// The main window's mode: files, folders, the extension filter and the callback.
inline constexpr uint32_t kMainWindowDropMask =
    DropAcceptFiles | DropAcceptFolders | DropFilterExtension | DropUseCallback;
// The extensions the main window accepts, in their order.
const std::vector<std::string>& AcceptedExtensions();

class CFileDropListCtrl final {
public:
    // Folders nested deeper than this below a dropped folder are not searched.
    static constexpr int kMaxFolderDepth = 256;

    // Gives back names left behind by processes that ended without doing so,
    // then starts with an empty table whose journal goes to journalDirectory
    // (default: RenameJournal::DefaultDirectory(); empty: no journal).
    CFileDropListCtrl();
    explicit CFileDropListCtrl(std::string journalDirectory);
    ~CFileDropListCtrl(); // whatever is still renamed gets its name back
    CFileDropListCtrl(const CFileDropListCtrl&) = delete;
    CFileDropListCtrl& operator=(const CFileDropListCtrl&) = delete;

    // False, and nothing changed, when the mask asks for the callback and none is given.
    bool SetDropMode(const DropListMode& mode);

    // Handles every dropped path in order, each completely (folder searches
    // included) before the next. Paths are exact bytes.
    void OnDropFiles(const std::vector<std::string>& paths);
    // The same for a drop's "text/uri-list".
    void OnDropUriList(std::string_view uriList);

    // Renames the file whose temporary path is exactly path back to its dropped name.
    void RenameBack(const std::string& path);
    // A queue row has gone (called by the queue's RemoveQueueItem with the path
    // as it was queued): renames its file back when renamed is set, and a
    // renamed folder once its last queued file has gone.
    void QueuedRowRemoved(const std::string& queuedPath, bool renamed);

    RenameTable& renameTable() { return m_renameTable; }

private:
    void ProcessDroppedPath(std::string path, bool foundInFolder, int depth);
    bool ClassifyPath(const std::string& path, uint32_t& pathType, struct stat& status);
    void SearchFolder(const std::string& folder, const struct stat& status, int depth);

    // Window thread only.
    uint32_t m_mask = DropAcceptFiles | DropAcceptFolders;
    std::vector<std::string> m_extensions;
    DropCallback m_callback;
    std::set<std::pair<dev_t, ino_t>> m_visitedFolders; // of the current drop: ends cycles

    RenameTable m_renameTable;
};

} // namespace quaylet
