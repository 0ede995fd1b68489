#pragma once

// What the window thread and the transfer thread share: the six waitable
// objects and a few single values. Each value is written by one side at a time
// (see the comments) and read by the other; atomics make those reads well
// defined without a lock.

#include "platform/events.h"

#include <atomic>
#include <cstdint>

namespace quaylet {

struct TransferObjects {
    using Event = platform::Event;
    // Set when the process ends; never reset.
    Event quit{Event::Reset::Manual};
    // Set by queueing a file; reset by the queue reset when the queue is empty.
    Event work{Event::Reset::Manual};
    // Set by the Cancel command and at exit; reset by queueing, by the
    // transfer thread when it takes up the head of the queue, and by a video
    // conversion after it stopped its encoder.
    Event cancel{Event::Reset::Manual};
    // Set while no encoder runs: the Cancel command waits for it.
    Event acknowledge{Event::Reset::Manual, true};
    // Fires when the notifications are due.
    platform::PeriodicTimer notification;
    // Set while the queue runs; reset while it is paused (by the front end,
    // through TransferEngine::setPaused). The transfer thread reads it where
    // it takes up the next head of the queue, and waits for it to be set
    // again before it takes up another.
    Event unpaused{Event::Reset::Manual, true};
};

// API result codes as the window sees them.
enum TransferResult : int {
    kResultNone = 0,
    kResultUploaded = 1,
    kResultDuplicate = -3,
    kResultFailed = -4,
    kResultPremiumNeeded = -5,
    kResultPhotoLimit = -6,
    kResultVideoLimit = -7,
    kResultClientFailure = -8,
};

// Results the window has a reaction for stay; everything else becomes -4.
constexpr int NormaliseResult(int result)
{
    switch (result) {
    case kResultUploaded:
    case kResultDuplicate:
    case kResultPremiumNeeded:
    case kResultPhotoLimit:
    case kResultVideoLimit:
    case kResultClientFailure:
        return result;
    default:
        return kResultFailed;
    }
}

struct TransferShared {
    // Set by the Cancel command; cleared by the transfer thread when it takes
    // up the head of the queue (before the connection check) and after a
    // cancelled file.
    std::atomic<bool> cancelFlag{false};
    // Written by the transfer thread; set back to 0 by the window once it reacted.
    std::atomic<int> lastResult{kResultNone};
    // Written by the transfer thread: the account is premium as last reported.
    std::atomic<bool> premium{false};
    // Written by the transfer thread before it reports a duplicate.
    std::atomic<int64_t> duplicateTime{0};
    // Written by the transfer thread: the time sent with the current upload.
    std::atomic<int64_t> mediaTime{0};
};

} // namespace quaylet
