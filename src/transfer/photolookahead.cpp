#include "transfer/photolookahead.h"

#include "core/logfile.h"
#include "platform/tempdir.h"
#include "platform/uniquefd.h"
#include "platform/workstop.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quaylet {

namespace {

void deleteFile(const std::string& path)
{
    if (!path.empty() && ::unlink(path.c_str()) != 0 && errno != ENOENT)
        WriteLog(LogMilestone, "xferDaemon: cannot remove %s", path.c_str());
}

std::string baseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

PreparedPhoto::PreparedPhoto(std::string upright, std::string prepared)
    : m_upright(std::move(upright)), m_prepared(std::move(prepared))
{
}

PreparedPhoto::~PreparedPhoto()
{
    deleteFile(m_prepared);
    deleteFile(m_upright);
}

PreparedPhoto::PreparedPhoto(PreparedPhoto&& other) noexcept
    : m_upright(std::exchange(other.m_upright, {})), m_prepared(std::exchange(other.m_prepared, {}))
{
}

PhotoLookAhead::PhotoLookAhead(const TransferSteps& steps) : m_steps(steps) {}

PhotoLookAhead::~PhotoLookAhead()
{
    discard();
    const std::string directory = folder();
    if (!directory.empty())
        ::rmdir(directory.c_str()); // fails harmlessly when it was never made
}

std::string PhotoLookAhead::folder()
{
    const std::string& temp = platform::TempPath();
    return temp.empty() ? std::string() : temp + "ahead/";
}

bool PhotoLookAhead::stillReadable(const std::string& path)
{
    return platform::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)).valid();
}

void PhotoLookAhead::start(const QueueHead& row, int box, std::function<bool()> wanted)
{
    discard();
    const std::string directory = folder();
    const auto stamp = platform::StampOf(row.path);
    if (directory.empty() || !stamp || !m_steps.rotateToUpright || !m_steps.makeUploadImage)
        return;
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return;
    m_stop = false;
    m_job = Job{row, box, *stamp, std::move(wanted), {}, {}, false};
    try {
        m_worker = std::thread([this] { prepare(); });
    } catch (const std::system_error&) {
        m_job.reset(); // no thread to spare: the photo is prepared at its turn
    }
}

void PhotoLookAhead::prepare()
{
    Job& job = *m_job;
    const auto stopped = [this, &job] { return m_stop.load() || !job.wanted(); };
    // The steps ask this between rows of the photo, so a quit or a discard
    // does not wait for the rest of a large one.
    const platform::ScopedWorkStop stopWhenUnwanted(stopped);
    try {
        if (stopped())
            return;
        job.upright = m_steps.rotateToUpright(job.row.path, job.box);
        if (stopped())
            return;
        job.prepared = m_steps.makeUploadImage(job.upright.empty() ? job.row.path : job.upright, job.box, folder());
        job.complete = true;
    } catch (const std::exception& e) {
        // The photo is prepared again at its turn, where a failure shows.
        WriteLog(LogTrace, "xferDaemon: preparing %s ahead failed: %s", job.row.path.c_str(), e.what());
    }
}

void PhotoLookAhead::join()
{
    if (m_worker.joinable())
        m_worker.join();
}

void PhotoLookAhead::discard()
{
    m_stop = true;
    join();
    if (m_job)
        PreparedPhoto(std::move(m_job->upright), std::move(m_job->prepared)); // deletes both
    m_job.reset();
}

std::optional<PreparedPhoto> PhotoLookAhead::take(uint64_t rowId, const std::string& path, int box)
{
    join();
    if (!m_job)
        return std::nullopt;
    Job job = std::move(*m_job);
    m_job.reset();
    PreparedPhoto photo(std::move(job.upright), std::move(job.prepared));
    if (!job.complete || job.row.id != rowId || job.row.path != path || job.box != box || platform::StampOf(path) != job.stamp
        || !stillReadable(path))
        return std::nullopt;
    std::string prepared = photo.releasePrepared();
    if (prepared.empty())
        return photo;
    const std::string home = platform::TempPath() + baseName(prepared);
    if (std::rename(prepared.c_str(), home.c_str()) != 0) {
        deleteFile(prepared);
        return std::nullopt;
    }
    return PreparedPhoto(photo.releaseUpright(), home);
}

} // namespace quaylet
