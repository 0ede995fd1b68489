#include "media/redirector.h"

#include "core/logfile.h"
#include "platform/events.h"
#include "platform/uniquefd.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace quaylet {

namespace {
constexpr const char* kChildEnded = "\r\n<TEST INFO>: Child process ended\r\n";
constexpr const char* kReadError = "Read stdout pipe error\r\n";
constexpr const char* kThreadDead = "The redir thread is dead\r\n";
} // namespace

// Shared by the runner and its reader thread; the reader holds it for as long
// as it runs, so a reader cut off by Shutdown never touches freed memory.
struct CRedirector::Run {
    std::mutex mutex;                             // guards every field below but stop and child
    std::condition_variable finishedCv;           // signalled when finished becomes true
    std::shared_ptr<IChildOutputHandler> handler; // null once the reader is cut off
    platform::UniqueFd outputReader;              // our end of the merged stdout/stderr pipe
    platform::UniqueFd inputWriter;               // our end of the child's stdin; never written
    bool finished = false;
    platform::Event stop{platform::Event::Reset::Manual};
    std::shared_ptr<platform::ChildProcess> child; // set before the reader starts, then constant

    // Holds the handler for the length of the call: a call that outlasts
    // Shutdown returns into live state.
    void deliver(const char* text, bool error)
    {
        std::shared_ptr<IChildOutputHandler> target;
        {
            std::lock_guard lock(mutex);
            target = handler;
        }
        if (!target)
            return;
        if (error)
            target->OnRunnerError(text);
        else
            target->OnChildOutput(text);
    }
    void cutOff()
    {
        std::lock_guard lock(mutex);
        handler.reset();
    }
    void closePipes()
    {
        std::lock_guard lock(mutex);
        outputReader.reset();
        inputWriter.reset();
    }
};

// The default handlers: this object's own virtual ones.
class CRedirector::OwnHandlers final : public IChildOutputHandler {
public:
    explicit OwnHandlers(CRedirector& owner) : m_owner(owner) {}
    void OnChildOutput(const char* text) override { m_owner.OnChildOutput(text); }
    void OnRunnerError(const char* text) override { m_owner.OnRunnerError(text); }

private:
    CRedirector& m_owner;
};

CRedirector::CRedirector() : m_handler(std::make_shared<OwnHandlers>(*this)) {}

CRedirector::~CRedirector()
{
    Shutdown();
}

void CRedirector::OnChildOutput(const char*) {}
void CRedirector::OnRunnerError(const char*) {}

void CRedirector::SetOutputHandler(std::shared_ptr<IChildOutputHandler> handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::shared_ptr<IChildOutputHandler> CRedirector::Handler() const
{
    std::lock_guard lock(m_mutex);
    return m_handler;
}

std::shared_ptr<platform::ChildProcess> CRedirector::childProcess() const
{
    std::lock_guard lock(m_mutex);
    return m_run ? m_run->child : nullptr;
}

bool CRedirector::Fail(int error)
{
    char text[64];
    std::snprintf(text, sizeof text, "Redirect console error: %x\r\n", static_cast<unsigned>(error));
    Handler()->OnRunnerError(text);
    Shutdown();
    errno = error;
    return false;
}

bool CRedirector::StartCommand(const ChildCommand& command)
{
    Shutdown();

    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return Fail(errno);
    platform::UniqueFd outRead(out[0]), outWrite(out[1]);
    if (::pipe2(in, O_CLOEXEC) != 0)
        return Fail(errno);
    platform::UniqueFd inRead(in[0]), inWrite(in[1]);

    auto child = std::make_shared<platform::ChildProcess>();
    const int error = child->start(command.arguments, {inRead.get(), outWrite.get(), outWrite.get()});
    // Only the child holds the write end now, so the pipe breaks when it ends.
    outWrite.reset();
    inRead.reset();
    if (error != 0)
        return Fail(error);

    auto run = std::make_shared<Run>();
    run->handler = Handler();
    run->outputReader = std::move(outRead);
    run->inputWriter = std::move(inWrite);
    run->child = std::move(child);
    try {
        std::lock_guard lock(m_mutex);
        m_run = run;
        m_thread = std::thread(&CRedirector::OutputThread, run);
    } catch (const std::system_error& e) {
        {
            std::lock_guard lock(m_mutex);
            m_run.reset();
        }
        run.reset(); // the child, held by nobody now, is stopped
        return Fail(e.code().value());
    }
    return true;
}

int CRedirector::ReadAvailableOutput(Run& run)
{
    char buffer[kChunkBytes + 1];
    // Once the child has ended, only what was waiting in the pipe at that moment
    // is still delivered, so a descendant that keeps writing cannot hold us here.
    bool draining = false;
    int drainLeft = 0;
    for (;;) {
        bool broken = false;
        int error = 0;
        ssize_t n = 0;
        {
            std::lock_guard lock(run.mutex);
            const int fd = run.outputReader.get();
            if (fd < 0)
                return 0; // shut down under us: nothing more to read
            pollfd pfd{fd, POLLIN, 0};
            ::poll(&pfd, 1, 0);
            int waiting = 0;
            if (::ioctl(fd, FIONREAD, &waiting) != 0) {
                error = errno;
            } else if (waiting <= 0 || (draining && drainLeft <= 0)) {
                if (!draining && (pfd.revents & (POLLHUP | POLLERR)) == 0)
                    return 1;
                broken = true;
            } else {
                if (draining && waiting > drainLeft)
                    waiting = drainLeft;
                do {
                    n = ::read(fd, buffer, std::min<size_t>(static_cast<size_t>(waiting), kChunkBytes));
                } while (n < 0 && errno == EINTR);
                if (n < 0)
                    error = errno;
                else if (n == 0)
                    broken = true;
            }
        }
        if (error != 0) {
            run.deliver(kReadError, true);
            return -1;
        }
        if (broken) {
            run.deliver(kChildEnded, false);
            return 0;
        }
        buffer[n] = '\0';
        run.deliver(buffer, false);
        if (draining) {
            drainLeft -= static_cast<int>(n);
            continue;
        }
        if (run.child->hasEnded()) {
            std::lock_guard lock(run.mutex);
            const int fd = run.outputReader.get();
            if (fd < 0 || ::ioctl(fd, FIONREAD, &drainLeft) != 0)
                drainLeft = 0;
            draining = true;
            continue;
        }
        // A child that floods the pipe must not keep the reader from stopping.
        if (run.stop.isSet())
            return 1;
    }
}

void CRedirector::OutputThread(std::shared_ptr<Run> run)
{
    WriteLog(LogMilestone, "CRedirector::OutputThread Begin");
    int r = ReadAvailableOutput(*run);
    while (r == 1) {
        const auto slot = platform::waitForAny({&run->child->exitWaitable(), &run->stop},
                                               std::chrono::milliseconds(kWaitTimeMs));
        if (slot == 0u) {
            r = ReadAvailableOutput(*run); // the last drain
            if (r == 1)
                r = 0;
            break;
        }
        if (slot == 1u) {
            r = 1;
            break;
        }
        r = ReadAvailableOutput(*run);
    }
    // The reader's part of shutting down: the child's stdin reaches its end and
    // our end of the output pipe goes; the owner's Shutdown does the rest.
    run->closePipes();
    WriteLog(LogMilestone, "CRedirector::OutputThread End");
    {
        std::lock_guard lock(run->mutex);
        run->finished = true;
    }
    run->finishedCv.notify_all();
}

void CRedirector::Shutdown()
{
    std::shared_ptr<Run> run;
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
            // Called from a handler on the reader thread: it cannot wait for
            // itself. It is cut off from this object and ends on its own.
            m_thread.detach();
            run = std::move(m_run);
            run->cutOff();
            run->stop.set();
            run->closePipes();
            return;
        }
        run = std::move(m_run);
        thread = std::move(m_thread);
    }
    if (!run)
        return;
    if (thread.joinable()) {
        run->stop.set();
        bool finished;
        {
            std::unique_lock lock(run->mutex);
            finished = run->finishedCv.wait_for(lock, std::chrono::milliseconds(kStopBoundMs),
                                                [&] { return run->finished; });
        }
        if (finished) {
            thread.join();
        } else {
            // A thread cannot be killed here: cut the reader off, so it finishes
            // silently whenever its handler returns, and stop what it reads from.
            Handler()->OnRunnerError(kThreadDead);
            run->cutOff();
            run->child->stopGroup();
            thread.detach();
        }
    }
    run->closePipes();
}

} // namespace quaylet
