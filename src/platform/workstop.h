#pragma once

// Whether the long piece of work a thread is doing is still wanted. A thread
// that may be asked to stop (the transfer thread on quit or cancel, the photo
// look-ahead's worker) installs a check for as long as it works; code deep
// inside that work (a photo's decoding, turning and encoding) asks it between
// rows and gives up when it says so, so a quit is not held up by the rest of
// a large photo.
//
// Threads: a check belongs to the thread that installed it; a helper thread
// started for part of the work installs the check it was handed
// (CurrentWorkStop()).

#include <functional>

namespace quaylet::platform {

using WorkStopCheck = std::function<bool()>;

// Installs a check for the current thread while it lives. Nests: the
// innermost guard wins.
class ScopedWorkStop final {
public:
    explicit ScopedWorkStop(WorkStopCheck check);
    ~ScopedWorkStop();
    ScopedWorkStop(const ScopedWorkStop&) = delete;
    ScopedWorkStop& operator=(const ScopedWorkStop&) = delete;

private:
    WorkStopCheck m_previous;
};

// True once the current thread's check asks to stop; false without a check.
bool WorkStopRequested();

// The current thread's check (empty without one), to hand to a helper thread.
WorkStopCheck CurrentWorkStop();

} // namespace quaylet::platform
