#pragma once

// The transfer thread's steps done for real: the connection check against the
// service's web site, the account call, photo and video preparation, the
// upload, and the notification poll.

#include "transfer/notificationpoller.h"
#include "transfer/transfersteps.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quaylet {

struct ServiceStepOptions {
    // The notification poller to run when the timer fires; null: no polling.
    NotificationPoller* poller = nullptr;
    // Told the bytes of each upload request sent so far (on the transfer
    // thread); empty: nobody asks.
    std::function<void(uint64_t posted)> uploadBytes;
};

TransferSteps ServiceTransferSteps(const ServiceStepOptions& options = {});

// The poller's services for real: the notification call for the signed-in
// user, the picture download and the idle time of the X11 session.
NotificationPoller::Services ServicePollerServices();

} // namespace quaylet
