#pragma once

// Prepares the next queued photo (its upright copy and the copy to upload) on
// a worker thread while the transfer thread uploads the current file, so the
// link does not wait on the CPU between files. One photo at a time. What the
// worker made belongs to the look-ahead, which deletes it, until the transfer
// thread takes it at the photo's turn.
//
// Threads: every member function is called by the transfer thread. The worker
// writes m_job while it runs; the transfer thread reads it only after joining
// the worker. m_stop is atomic.

#include "platform/filestamp.h"
#include "transfer/transferqueue.h"
#include "transfer/transfersteps.h"

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace quaylet {

// Files made ahead of their turn; deleted with this object unless released.
class PreparedPhoto final {
public:
    PreparedPhoto(std::string upright, std::string prepared);
    ~PreparedPhoto();
    PreparedPhoto(PreparedPhoto&& other) noexcept;
    PreparedPhoto& operator=(PreparedPhoto&&) = delete;
    PreparedPhoto(const PreparedPhoto&) = delete;
    PreparedPhoto& operator=(const PreparedPhoto&) = delete;

    // The upright copy (empty when the photo needed no turning); the caller
    // owns it from now on.
    std::string releaseUpright() { return std::exchange(m_upright, {}); }
    // The copy to upload (empty when it could not be made); likewise.
    std::string releasePrepared() { return std::exchange(m_prepared, {}); }

private:
    std::string m_upright;
    std::string m_prepared;
};

class PhotoLookAhead final {
public:
    // `steps` must outlive this object; its rotateToUpright and
    // makeUploadImage run on the worker.
    explicit PhotoLookAhead(const TransferSteps& steps);
    // Stops and joins the worker and deletes what it made.
    ~PhotoLookAhead();
    Q_DISABLE_COPY_MOVE(PhotoLookAhead)

    // Starts preparing the row's photo for the box, its copies going into
    // the temporary directory's look-ahead folder. `wanted` is asked on the
    // worker before each step, and by the steps themselves as their work-stop
    // check (platform/workstop.h): once false, the worker stops and deletes
    // what it made. Whatever was prepared before is discarded first.
    void start(const QueueHead& row, int box, std::function<bool()> wanted);
    // At the row's turn: waits for the worker, and gives what it prepared
    // when that was made for this row and path with this box and the file is
    // unchanged on disk (its platform::FileStamp) and still readable since.
    // The copy to upload is moved into the temporary directory under its own
    // name, where the photo's own preparation would have written it.
    // Otherwise everything prepared is deleted and nothing is given.
    std::optional<PreparedPhoto> take(uint64_t rowId, const std::string& path, int box);
    // Stops the worker (the steps give up within a few rows of the photo),
    // joins it and deletes its files.
    void discard();

    // The folder the worker writes into (ending in '/'); empty without a
    // temporary directory.
    static std::string folder();

private:
    struct Job {
        QueueHead row;
        int box = 0;
        platform::FileStamp stamp;
        std::function<bool()> wanted;
        std::string upright;
        std::string prepared;
        bool complete = false; // both steps ran
    };

    // At its turn the photo must open as it would without the look-ahead: a
    // file made unreadable since fails there, not with a copy made earlier.
    static bool stillReadable(const std::string& path);
    void prepare(); // on the worker
    void join();

    const TransferSteps& m_steps;
    std::atomic<bool> m_stop{false};
    std::optional<Job> m_job; // see the header comment
    std::thread m_worker;     // started and joined by the transfer thread
};

} // namespace quaylet
