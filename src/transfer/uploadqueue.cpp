#include "transfer/uploadqueue.h"

#include "core/logfile.h"
#include "core/stringtable.h"
#include "dropintake/pathtext.h"
#include "platform/asciitext.h"
#include "platform/tempdir.h"
#include "transfer/filetimes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace quaylet {

namespace {

constexpr const char* kVideoExtensions[] = {".AVI", ".MPG", ".MPEG", ".WMV", ".MOV", ".MP4",
                                            ".VOB", ".3GP", ".3GPP", ".3G2", ".MOD", ".ASF"};

bool isNonZeroNumber(const std::string& text)
{
    return !text.empty() && std::strtol(text.c_str(), nullptr, 10) != 0;
}

// Deletes an upright copy that stands in for the queued file. Only copies in
// the private temporary directory are ours to delete.
void removeOwnedCopy(const std::string& copy, const std::string& queuedPath)
{
    if (copy == queuedPath || copy.empty())
        return;
    const std::string& temp = platform::TempPath();
    if (!temp.empty() && copy.starts_with(temp))
        ::unlink(copy.c_str());
}

} // namespace

int MediaTypeOf(const std::string& path)
{
    const std::string_view extension = PathExtension(path);
    for (const char* video : kVideoExtensions) {
        if (platform::EqualsNoCase(extension, video))
            return kMediaVideo;
    }
    return kMediaImage;
}

bool IsProjectFile(const std::string& path)
{
    return platform::EqualsNoCase(PathExtension(path), ".MSWMM");
}

int64_t QueueMediaTime(const std::string& path, const DateTakenReader& dateTaken, bool isVideo,
                       uint64_t& size)
{
    size = 0;
    const auto times = ReadFileTimes(path);
    if (!times)
        return 0; // the start of the time scale: the file vanished since the drop
    size = times->size;
    // Only photos record the date they were taken; a video is not even opened.
    if (!isVideo && dateTaken) {
        if (const auto taken = dateTaken(path); taken && *taken > 0)
            return *taken;
    }
    if (times->created > 0)
        return times->created;
    return static_cast<int64_t>(std::time(nullptr));
}

std::string FormatTimeCreated(int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

CUploadQueue::CUploadQueue(UploadQueueLinks links) : m_links(std::move(links)) {}

DropCallback CUploadQueue::dropCallback()
{
    return [this](CFileDropListCtrl& list, const std::string& path, uint32_t& pathType, bool renamed) {
        return QueueDroppedFile(list, path, pathType, renamed);
    };
}

bool CUploadQueue::isQueuedLocked(const std::string& path) const
{
    // Paths compare exactly: "a.JPG" and "a.jpg" are two files here. The test
    // uses the path as queued, so a row whose column 0 now names its upright
    // copy still counts as that file.
    return m_queuedPaths.count(path) != 0;
}

int CUploadQueue::QueueDroppedFile(CFileDropListCtrl& list, const std::string& path, uint32_t& pathType,
                                   bool renamed)
{
    {
        std::lock_guard lock(m_mutex);
        if (isQueuedLocked(path))
            return 1;
    }
    if (pathType != PathTypeFile)
        return 1;

    const int type = MediaTypeOf(path);
    const bool project = IsProjectFile(path);
    uint64_t size = 0;
    const int64_t mediaTime = QueueMediaTime(path, m_links.dateTaken, type == kMediaVideo || project, size);

    QueueRow row;
    row.columns[kColumnPathname] = path;
    row.columns[kColumnTimeCreated] = FormatTimeCreated(mediaTime);
    row.columns[kColumnFileSize] = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(size)));
    row.columns[kColumnFileType] = std::to_string(type);
    row.columns[kColumnRenamed] = renamed ? "1" : "0";
    row.queuedPath = path;
    row.intake = &list;

    WriteLog(LogTrace, "CKestrelioClientDlg : Queueing %s created on %s", path.c_str(),
             row.columns[kColumnTimeCreated].c_str());

    if (project) {
        const bool notify = !m_links.notificationsOn || m_links.notificationsOn();
        if (notify && m_links.window) {
            m_links.window->showBalloon(Balloon{LoadString(str::InvalidMovieMakerTitle),
                                                LoadString(str::InvalidMovieMakerText), BalloonIcon::Info,
                                                10000, 8000});
        }
        return 1;
    }

    // The name the user knows the file by, for a later run to find it again.
    const std::string userPath = m_links.journal ? list.UserPath(path) : std::string();
    {
        std::lock_guard lock(m_mutex);
        if (isQueuedLocked(path))
            return 1;
        row.id = m_nextId++;
        // Under the lock, so that the record of the row comes before anything
        // the transfer thread records about it.
        if (m_links.journal)
            m_links.journal->queued(row.id, userPath, type);
        m_queuedPaths.insert(path);
        m_rows.push_back(std::move(row));
        ++m_queuedTotal;
        // Under the lock: see queueReset().
        if (m_links.objects) {
            m_links.objects->cancel.reset();
            m_links.objects->work.set();
        }
    }
    if (m_links.rowAdded)
        m_links.rowAdded();
    return 0;
}

std::size_t CUploadQueue::count() const
{
    std::lock_guard lock(m_mutex);
    return m_rows.size();
}

std::optional<QueueRow> CUploadQueue::rowAt(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size())
        return std::nullopt;
    return m_rows[index];
}

namespace {
QueueHead transferViewOf(const QueueRow& row)
{
    QueueHead head;
    head.id = row.id;
    head.path = row.columns[kColumnPathname];
    head.type = std::atoi(row.columns[kColumnFileType].c_str());
    return head;
}
} // namespace

std::optional<QueueHead> CUploadQueue::head() const
{
    std::lock_guard lock(m_mutex);
    if (m_rows.empty())
        return std::nullopt;
    return transferViewOf(m_rows.front());
}

std::optional<QueueHead> CUploadQueue::after(uint64_t id) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
    if (it == m_rows.end() || std::next(it) == m_rows.end())
        return std::nullopt;
    return transferViewOf(*std::next(it));
}

std::deque<QueueRow>::iterator CUploadQueue::findLocked(uint64_t id)
{
    return std::find_if(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
}

bool CUploadQueue::setPath(uint64_t id, const std::string& path)
{
    std::lock_guard lock(m_mutex);
    const auto it = findLocked(id);
    if (it == m_rows.end()) {
        removeOwnedCopy(path, std::string());
        return false;
    }
    if (it->columns[kColumnPathname] != path)
        removeOwnedCopy(it->columns[kColumnPathname], it->queuedPath);
    it->columns[kColumnPathname] = path;
    return true;
}

void CUploadQueue::markAllCancelled()
{
    std::lock_guard lock(m_mutex);
    m_cancelledBelow = m_nextId;
}

bool CUploadQueue::isCancelled(uint64_t id) const
{
    std::lock_guard lock(m_mutex);
    return id < m_cancelledBelow ||
           std::none_of(m_rows.begin(), m_rows.end(), [id](const QueueRow& r) { return r.id == id; });
}

void CUploadQueue::markStarted(uint64_t id)
{
    if (m_links.journal)
        m_links.journal->started(id);
}

void CUploadQueue::markUploading(uint64_t id, const std::string& sentPath)
{
    if (m_links.journal)
        m_links.journal->uploading(id, sentPath);
}

void CUploadQueue::markFinished(uint64_t id, int result)
{
    if (!m_links.journal)
        return;
    {
        std::lock_guard lock(m_mutex);
        const auto it = findLocked(id);
        if (it == m_rows.end())
            return;
        it->outcomeKept = true;
    }
    m_links.journal->finished(id, result);
}

bool CUploadQueue::RemoveQueueItem(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    const auto it = findLocked(id);
    if (it == m_rows.end())
        return false;
    if (it->intake)
        it->intake->QueuedRowRemoved(it->queuedPath, isNonZeroNumber(it->columns[kColumnRenamed]));
    removeOwnedCopy(it->columns[kColumnPathname], it->queuedPath);
    if (m_links.journal && !it->outcomeKept) {
        // A quitting process leaves its rows for the next run; a Cancel ends them.
        const bool quitting = m_links.objects && m_links.objects->quit.isSet();
        m_links.journal->removedWithoutOutcome(id, !quitting);
    }
    m_queuedPaths.erase(it->queuedPath);
    m_rows.erase(it);
    return true;
}

void CUploadQueue::RemoveAllQueueItems()
{
    for (;;) {
        const auto first = head();
        if (!first)
            return;
        RemoveQueueItem(first->id);
    }
}

int CUploadQueue::queuedTotal() const
{
    std::lock_guard lock(m_mutex);
    return m_queuedTotal;
}

int CUploadQueue::currentPosition() const
{
    std::lock_guard lock(m_mutex);
    return m_currentPosition;
}

std::optional<std::string> CUploadQueue::countText() const
{
    std::lock_guard lock(m_mutex);
    if (m_currentPosition == 0 || m_queuedTotal < m_currentPosition)
        return std::nullopt;
    char text[64];
    // The format is the string table's "% d of %d".
    std::snprintf(text, sizeof text, LoadString(str::CountFormat), m_currentPosition, m_queuedTotal);
    return std::string(text);
}

std::optional<QueueRow> CUploadQueue::advanceToHead()
{
    std::lock_guard lock(m_mutex);
    if (m_rows.empty() || m_queuedTotal < m_currentPosition) {
        m_queuedTotal = 0;
        m_currentPosition = 0;
        return std::nullopt;
    }
    if (!m_rows.front().columns[kColumnPathname].empty())
        ++m_currentPosition;
    return m_rows.front();
}

void CUploadQueue::queueReset()
{
    std::lock_guard lock(m_mutex);
    m_queuedTotal = 0;
    m_currentPosition = 0;
    if (m_rows.empty() && m_links.objects)
        m_links.objects->work.reset();
}

} // namespace quaylet
