#pragma once

// Internal to the platform library: the lock and condition shared by all waitables.

#include <condition_variable>
#include <mutex>

namespace quaylet::platform {

struct WaitState {
    std::mutex mutex;
    std::condition_variable changed;
    static WaitState& instance();
};

} // namespace quaylet::platform
