#pragma once

// The drop intake: turns a drop of files and folders into one callback per
// acceptable file. It follows shortcuts (symbolic links and desktop links),
// searches folders depth first, filters by extension, and gives a dropped file
// or folder whose name is not valid UTF-8 a temporary "TempFile_<n>" name
// beside it while it is queued, renaming it back when its queue row goes.
//
// Threads: SetDropMode, SetStopCheck and the drop run on the window thread.
// QueuedRowRemoved and UserPath may run on any thread; they only touch the
// rename table, which has a lock of its own. The stop check is called on the
// thread of the drop.

#include "dropintake/renametable.h"

#include <cstdint>
#include <functional>
#include <map>
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

// Answers true when the drop being handled should end now (the process quits,
// the user cancelled): a dropped folder can hold a link to the root of the
// file system.
using DropStopCheck = std::function<bool()>;

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
    // Consulted before every path and folder entry of a drop; once it answers
    // true the drop ends without taking anything more. Empty: never stops.
    void SetStopCheck(DropStopCheck check) { m_stopCheck = std::move(check); }

    // Handles every dropped path in order, each completely (folder searches
    // included) before the next. Paths are exact bytes.
    void OnDropFiles(const std::vector<std::string>& paths);
    // The same for a drop's "text/uri-list".
    void OnDropUriList(std::string_view uriList);

    // A queue row has gone (called by the queue's RemoveQueueItem with the path
    // as it was queued): renames its file back when renamed is set, and a
    // renamed folder once its last queued file has gone.
    void QueuedRowRemoved(const std::string& queuedPath, bool renamed);

    // A queued path as the user named it: the original name of a renamed
    // file, or of the renamed folder it lies in; other paths as they are.
    std::string UserPath(const std::string& queuedPath) const { return m_renameTable.userPathOf(queuedPath); }
    // Why a path of the last drop was skipped because it could not be given
    // a temporary name; empty when it was not.
    std::string RenameFailure(const std::string& droppedPath) const;

    RenameTable& renameTable() { return m_renameTable; }

private:
    void ProcessDroppedPath(std::string path, int depth);
    bool ClassifyPath(const std::string& path, uint32_t& pathType, struct stat& status);
    bool stopRequested() const { return m_stopCheck && m_stopCheck(); }
    void SearchFolder(const std::string& folder, const struct stat& status, int depth);

    // Window thread only.
    uint32_t m_mask = DropAcceptFiles | DropAcceptFolders;
    std::vector<std::string> m_extensions;
    DropCallback m_callback;
    DropStopCheck m_stopCheck;
    std::set<std::pair<dev_t, ino_t>> m_visitedFolders; // of the current drop: ends cycles
    std::map<std::string, std::string> m_renameFailures; // of the last drop: dropped path to reason

    RenameTable m_renameTable;
};

} // namespace quaylet
