#pragma once

// The work the transfer thread does on one file, step by step, as replaceable
// functions. The client and the headless uploader use ServiceTransferSteps()
// (the real connection check, account call, photo and video preparation and
// upload); tests may replace single steps to force an outcome at a chosen moment.

#include "transfer/delaymethodcall.h"
#include "transfer/transferobjects.h"
#include "transfer/windowreactions.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quaylet {

// What a step may need of the engine while it runs.
struct StepContext {
    TransferObjects& objects;
    TransferShared& shared;
    IWindowReactions& window;
    // The status-text limiter bound to the window before each upload.
    CDelayMethodCall& statusLimiter;
    // True once the current file should stop: cancel flag or quit event.
    std::function<bool()> shouldStop;
};

struct UploadRequest {
    std::string path;
    int type = 1; // 1 photo, 2 video
    int64_t mediaTime = 0;
};

struct TransferSteps {
    // Can the service's web site be reached now?
    std::function<bool(const StepContext&)> checkConnection;
    // The account call: whether the service reports a premium account (false
    // when it cannot tell).
    std::function<bool(const StepContext&)> fetchPremium;
    // The path of an upright copy, or empty when the photo needs no turning;
    // `box` is the one makeUploadImage will be given for it (0 for a video).
    std::function<std::string(const std::string& path, int box)> rotateToUpright;
    // The prepared photo for a box of box x box pixels, or empty on failure.
    // It is written into `directory` (ending in '/'), or into the temporary
    // directory when that is empty.
    std::function<std::string(const std::string& path, int box, const std::string& directory)> makeUploadImage;
    // The converted video, or empty on failure or cancel.
    std::function<std::string(const StepContext&, const std::string& path)> convertVideo;
    // The date a photo was taken, when it records one.
    std::function<std::optional<int64_t>(const std::string& path)> dateTaken;
    // Sends one file; an API result code.
    std::function<int(const StepContext&, const UploadRequest&)> upload;
    // Asks the service for a notification when one is due (empty: never).
    std::function<void(const StepContext&)> pollNotifications;
};

} // namespace quaylet
