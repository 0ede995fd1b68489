#include "dropintake/filedroplistctrl.h"

#include "core/logfile.h"
#include "dropintake/droppaths.h"
#include "dropintake/pathtext.h"
#include "dropintake/shortcut.h"
#include "platform/uniquedir.h"
#include "platform/utf8.h"

#include <QString>

#include <algorithm>
#include <sys/stat.h>

namespace quaylet {

namespace {

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The names in a folder in the order the system lists them. Read completely
// before anything inside is searched, so deep trees never hold a folder
// handle per level; a huge folder is read no further once stop answers true.
std::vector<std::string> listFolder(const std::string& folder, const std::function<bool()>& stop)
{
    std::vector<std::string> names;
    const platform::UniqueDir dir = platform::OpenDir(folder);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (stop())
            return {};
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    return names;
}

// Names left behind by ended processes are given back before this process
// renames anything, so their temporary names are free again.
std::string restoreEndedFirst(std::string journalDirectory)
{
    RenameJournal::RestoreEnded(journalDirectory);
    return journalDirectory;
}

} // namespace

const std::vector<std::string>& AcceptedExtensions()
{
    static const std::vector<std::string> list{".JPG",   ".JPEG", ".BMP",  ".GIF", ".AVI", ".MPG", ".MPEG",
                                               ".TIF",   ".TIFF", ".WMV",  ".MOV", ".PNG", ".MP4", ".VOB",
                                               ".MSWMM", ".3GP",  ".3GPP", ".3G2", ".ASF", ".MOD"};
    return list;
}

CFileDropListCtrl::CFileDropListCtrl() : CFileDropListCtrl(RenameJournal::DefaultDirectory()) {}

CFileDropListCtrl::CFileDropListCtrl(std::string journalDirectory)
    : m_renameTable(restoreEndedFirst(std::move(journalDirectory)))
{
}

CFileDropListCtrl::~CFileDropListCtrl() = default;

bool CFileDropListCtrl::SetDropMode(const DropListMode& mode)
{
    if ((mode.mask & DropUseCallback) && !mode.callback)
        return false;
    m_mask = mode.mask;
    m_extensions = mode.extensions;
    m_callback = mode.callback;
    return true;
}

void CFileDropListCtrl::OnDropFiles(const std::vector<std::string>& paths)
{
    m_visitedFolders.clear();
    m_renameFailures.clear();
    for (const std::string& path : paths) {
        if (stopRequested())
            break;
        if (!path.empty())
            ProcessDroppedPath(stripTrailingSlashes(path), 0);
    }
    m_visitedFolders.clear();
}

void CFileDropListCtrl::OnDropUriList(std::string_view uriList)
{
    OnDropFiles(PathsFromUriList(uriList));
}

std::string CFileDropListCtrl::RenameFailure(const std::string& droppedPath) const
{
    const auto it = m_renameFailures.find(stripTrailingSlashes(droppedPath));
    return it == m_renameFailures.end() ? std::string{} : it->second;
}

void CFileDropListCtrl::QueuedRowRemoved(const std::string& queuedPath, bool renamed)
{
    m_renameTable.rowRemoved(queuedPath, renamed);
}

void CFileDropListCtrl::ProcessDroppedPath(std::string path, int depth)
{
    bool renamed = false;
    std::string target = ExpandShortcut(path);
    if (!target.empty()) {
        path = std::move(target);
    } else if (!platform::IsValidUtf8(path)) {
        // The rest of the client works with UTF-8 text: such a name waits in
        // the queue under a temporary one, whether it was dropped itself or
        // found in a dropped folder.
        RenameTable::TempMove move = m_renameTable.moveToTempName(path);
        if (move.tempPath.empty()) {
            m_renameFailures[path] = std::move(move.failure);
            return;
        }
        renamed = true;
        path = std::move(move.tempPath);
    }

    uint32_t pathType = 0;
    struct stat status {};
    if (!ClassifyPath(path, pathType, status)) {
        if (renamed)
            m_renameTable.renameBack(path);
        return;
    }

    if (pathType == PathTypeFolder) {
        if (renamed)
            m_renameTable.beginFolderSearch(path);
        SearchFolder(path, status, depth);
        if (renamed)
            m_renameTable.endFolderSearch(path);
        return;
    }

    if (!(m_mask & DropUseCallback) || !m_callback)
        return;
    // Counted before the callback: once queued, the transfer thread may remove
    // the row at any moment.
    m_renameTable.rowQueued(path);
    const int result = m_callback(*this, path, pathType, renamed);
    if (result != 0) {
        m_renameTable.rowNotQueued(path);
        // Not queued (a duplicate, a project file): nothing would ever rename it back.
        if (renamed)
            m_renameTable.renameBack(path);
    }
}

bool CFileDropListCtrl::ClassifyPath(const std::string& path, uint32_t& pathType, struct stat& status)
{
    // A name that is not UTF-8 cannot be carried by the rest of the client.
    if (!platform::IsValidUtf8(path) || ::stat(path.c_str(), &status) != 0)
        return false;
    if ((m_mask & DropAcceptFolders) && S_ISDIR(status.st_mode)) {
        pathType = PathTypeFolder;
        return true;
    }
    if (!(m_mask & DropAcceptFiles) || !S_ISREG(status.st_mode))
        return false;
    pathType = PathTypeFile;
    if (!(m_mask & DropFilterExtension))
        return true;
    // Names are case-sensitive here: only the comparison uses the upper-cased
    // extension, the path itself keeps the file's real name.
    const std::string_view extension = PathExtension(path);
    const QByteArray upper =
        QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())).toUpper().toUtf8();
    const std::string_view upperView(upper.constData(), static_cast<std::size_t>(upper.size()));
    if (std::find(m_extensions.begin(), m_extensions.end(), upperView) != m_extensions.end())
        return true;
    WriteLog(LogTrace, "CFileDropListCtrl: extension %s not supported", upper.constData());
    return false;
}

void CFileDropListCtrl::SearchFolder(const std::string& folder, const struct stat& status, int depth)
{
    // A link or desktop link leading back to a folder already searched in
    // this drop would otherwise search forever.
    if (!m_visitedFolders.emplace(status.st_dev, status.st_ino).second)
        return;
    if (depth >= kMaxFolderDepth) {
        WriteLog(LogTrace, "CFileDropListCtrl: folder nested too deeply, not searched: %s", folder.c_str());
        return;
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& name : listFolder(folder, [this] { return stopRequested(); })) {
        if (stopRequested())
            return;
        ProcessDroppedPath(prefix + name, depth + 1);
    }
}

} // namespace quaylet
