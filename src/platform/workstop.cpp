#include "platform/workstop.h"

#include <utility>

namespace quaylet::platform {

namespace {
thread_local WorkStopCheck t_workStop;
} // namespace

ScopedWorkStop::ScopedWorkStop(WorkStopCheck check) : m_previous(std::exchange(t_workStop, std::move(check))) {}

ScopedWorkStop::~ScopedWorkStop()
{
    t_workStop = std::move(m_previous);
}

bool WorkStopRequested()
{
    return t_workStop && t_workStop();
}

WorkStopCheck CurrentWorkStop()
{
    return t_workStop;
}

} // namespace quaylet::platform
