#pragma once

// Runs one encoder (or any program) as a child process whose standard output
// and standard error arrive merged, in order, through one pipe, and hands what
// it writes, chunk by chunk, to a virtual handler on a reader thread of its own.
// The child's standard input is a pipe that stays open and empty until the run
// is shut down.
//
// Threads: the owner calls StartCommand and Shutdown and waits on the child;
// the reader thread calls the output handler. Everything the reader thread
// touches lives in a shared run record (its own lock), so that a reader which
// outlives Shutdown (stuck in a handler for more than 5000 ms) is cut off from
// this object: no handler is called afterwards. A handler that is still
// running at that moment returns into whatever it shares with the reader: by
// default that is this object (its OnChildOutput / OnRunnerError), so such a
// handler must not touch its object once it goes on; a class whose handlers
// may block for long gives a handler object of its own (SetOutputHandler),
// which the reader keeps alive for as long as a call runs.

#include "platform/childprocess.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quaylet {

// A command: the text that is logged, and the argument list that is run. The
// child is always started from the list, so nothing in a path (quotes, blanks,
// a leading dash) can add arguments.
struct ChildCommand {
    std::string text;
    std::vector<std::string> arguments; // arguments[0] is the program's name
};

// Receives the child's output and the runner's notices, on the reader thread.
class IChildOutputHandler {
public:
    virtual ~IChildOutputHandler() = default;
    // A chunk of the child's output or a runner notice, zero-terminated.
    virtual void OnChildOutput(const char* text) = 0;
    // A runner error message.
    virtual void OnRunnerError(const char* text) = 0;
};

class CRedirector {
public:
    static constexpr unsigned kWaitTimeMs = 100;     // reader's wait between looks at the pipe
    static constexpr unsigned kStopBoundMs = 5000;   // how long Shutdown waits for the reader
    static constexpr size_t kChunkBytes = 255;       // at most this much per OnChildOutput

    CRedirector();
    virtual ~CRedirector(); // calls Shutdown; derived classes call it in their own destructor first
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Shuts any previous run down, starts the child and the reader thread.
    // On failure "Redirect console error: %x\r\n" (errno) reaches OnRunnerError,
    // nothing is left running, errno holds the code, and the result is false.
    bool StartCommand(const ChildCommand& command);

    // Stops the reader thread (at most 5000 ms, then "The redir thread is dead\r\n"
    // is reported, the child's group is stopped, the pipe closed, and the reader
    // cut off) and lets go of the run. Safe from the owner and from the reader
    // thread at the same time, before any start, and any number of times. The
    // child itself is not stopped while someone still holds it (childProcess());
    // when the last holder lets go, a child still running is stopped and reaped.
    virtual void Shutdown();

    // The running child, for the owner to wait on or stop; empty when none.
    std::shared_ptr<platform::ChildProcess> childProcess() const;

protected:
    // The default handlers: the reader calls these on this object.
    // A chunk of the child's output or a runner notice, zero-terminated.
    virtual void OnChildOutput(const char* text);
    // A runner error message.
    virtual void OnRunnerError(const char* text);

    // Replaces the default handlers from the next StartCommand on; the notices
    // of StartCommand and Shutdown go there too.
    void SetOutputHandler(std::shared_ptr<IChildOutputHandler> handler);

public:
    struct Run; // the state shared with the reader thread

private:
    class OwnHandlers;
    std::shared_ptr<IChildOutputHandler> Handler() const;

    static void OutputThread(std::shared_ptr<Run> run);
    // One pass over the pipe: 1 = empty for now, 0 = child ended, -1 = error.
    static int ReadAvailableOutput(Run& run);
    bool Fail(int error);

    mutable std::mutex m_mutex; // guards the three fields below (owner vs reader thread)
    std::shared_ptr<IChildOutputHandler> m_handler;
    std::shared_ptr<Run> m_run;
    std::thread m_thread;
};

} // namespace quaylet
