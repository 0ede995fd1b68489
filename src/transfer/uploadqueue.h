#pragma once

// The upload queue: the files waiting to be prepared and uploaded, in order,
// row 0 being the head. Each row carries the five text fields the rest of the
// client reads ("Pathname", "Time Created", "File size", "File type",
// "Renamed") and two of our own that nobody displays: a stable id, so that
// whoever finishes with a row removes exactly that row, and the path as it was
// queued (column 0 is replaced when a photo is turned upright).
//
// Threads: rows are added on the window thread (the drop intake's callback)
// and read, changed and removed from the window and transfer threads. One
// lock guards the rows and the counters; removing a row renames its file back
// under that lock, so a removal never overlaps the queueing of a drop, and
// the work event is set by queueing and reset by the queue reset under it.

#include "dropintake/filedroplistctrl.h"
#include "transfer/queuejournal.h"
#include "transfer/transferobjects.h"
#include "transfer/transferqueue.h"
#include "transfer/windowreactions.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

namespace quaylet {

enum QueueColumn : int {
    kColumnPathname = 0,
    kColumnTimeCreated = 1,
    kColumnFileSize = 2,
    kColumnFileType = 3,
    kColumnRenamed = 4,
};
inline constexpr int kQueueColumnCount = 5;

enum MediaType : int { kMediaImage = 1, kMediaVideo = 2 };

struct QueueRow {
    uint64_t id = 0;
    std::array<std::string, kQueueColumnCount> columns;
    std::string queuedPath; // column 0 as it was queued
    // The intake that handed the file over; it renames the file back when the
    // row goes, so it must outlive the row (declare it before the queue).
    CFileDropListCtrl* intake = nullptr;
    bool outcomeKept = false; // its outcome went to the journal
};

// The date a photo was taken, in seconds since 1970, when it records one.
using DateTakenReader = std::function<std::optional<int64_t>(const std::string& path)>;

// What queueing a file reaches besides the rows. Every member may be empty.
struct UploadQueueLinks {
    // The window's reactions, for the project-file balloon.
    IWindowReactions* window = nullptr;
    // The work and cancel events of the transfer thread.
    TransferObjects* objects = nullptr;
    DateTakenReader dateTaken;
    // Whether tray balloons are on; empty means on.
    std::function<bool()> notificationsOn;
    // Called on the window thread after a row was added and the events were
    // set: the window refreshes its count and starts its status animation.
    std::function<void()> rowAdded;
    // The lasting record of the rows; must outlive the queue.
    IQueueJournal* journal = nullptr;
};

// Media time of a file about to be queued, in seconds since 1970: the date
// the photo was taken, else the file's creation time, else now; 0 when the
// file cannot be found. size gets the file's size (0 when not found).
int64_t QueueMediaTime(const std::string& path, const DateTakenReader& dateTaken, bool isVideo,
                       uint64_t& size);

// "%02d/%02d/%04d %02d:%02d:%02d" with month, day, year, hour, minute, second in local time.
std::string FormatTimeCreated(int64_t seconds);

// The type of a file by its extension (letter case ignored): 2 for a video,
// 1 for anything else. IsProjectFile: the video editor's ".MSWMM".
int MediaTypeOf(const std::string& path);
bool IsProjectFile(const std::string& path);

class CUploadQueue final : public ITransferQueue {
public:
    explicit CUploadQueue(UploadQueueLinks links = {});
    CUploadQueue(const CUploadQueue&) = delete;
    CUploadQueue& operator=(const CUploadQueue&) = delete;

    // The intake's callback: queues one accepted file. 0 when a row was added,
    // 1 when not (already queued, not a file, a project file).
    int QueueDroppedFile(CFileDropListCtrl& list, const std::string& path, uint32_t& pathType, bool renamed);
    // QueueDroppedFile as the callback of a DropListMode.
    DropCallback dropCallback();

    std::size_t count() const;
    // A copy of the row at index (0 is the head).
    std::optional<QueueRow> rowAt(std::size_t index) const;

    // ITransferQueue, for the transfer thread.
    std::optional<QueueHead> head() const override;
    std::optional<QueueHead> after(uint64_t id) const override;
    // Replaces column 0 with an upright copy of the file. The copy belongs to
    // the queue from now on: it is deleted when it is replaced or the row goes,
    // or at once when the row has gone already (false).
    bool setPath(uint64_t id, const std::string& path) override;
    void remove(uint64_t id) override { RemoveQueueItem(id); }
    bool isCancelled(uint64_t id) const override;
    void markStarted(uint64_t id) override;
    void markUploading(uint64_t id, const std::string& sentPath) override;
    void markFinished(uint64_t id, int result) override;

    // Renames the row's file back when its "Renamed" field is a non-zero
    // number (using the path as it was queued), deletes its upright copy,
    // then deletes the row. False when the row is already gone.
    bool RemoveQueueItem(uint64_t id);
    // Cancel, first step: every row queued so far counts as cancelled at
    // once, although the rows stay until RemoveAllQueueItems (the Cancel
    // command waits for the encoder to stop before it removes them).
    void markAllCancelled();
    // Cancel: removes every row, head first.
    void RemoveAllQueueItems();

    // The counters behind the count display.
    int queuedTotal() const;
    int currentPosition() const;
    // The count text " <position> of <total>", or nothing when the display
    // stays unchanged (position 0, or the position beyond the total).
    std::optional<std::string> countText() const;
    // The window's next-row step: nothing when the queue is empty or the
    // position has passed the total (the display is then reset, counters
    // included); otherwise the head row, the position having advanced by one.
    std::optional<QueueRow> advanceToHead();
    // The queue is reset: both counters back to 0, and the work event reset
    // when no row is left. Queueing adds its row and sets the event under the
    // same lock, so a row queued at this moment either keeps the event set or
    // sets it again afterwards: it is never left waiting with the event cleared.
    void queueReset();

private:
    bool isQueuedLocked(const std::string& path) const;
    std::deque<QueueRow>::iterator findLocked(uint64_t id);

    UploadQueueLinks m_links;
    mutable std::mutex m_mutex; // guards everything below
    std::deque<QueueRow> m_rows;
    std::unordered_set<std::string> m_queuedPaths; // the duplicate test, one entry per row
    uint64_t m_nextId = 1;
    uint64_t m_cancelledBelow = 1; // rows with a smaller id were queued before the last Cancel
    int m_queuedTotal = 0;
    int m_currentPosition = 0;
};

} // namespace quaylet
