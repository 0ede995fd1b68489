#pragma once

// libjpeg's error handling for the codec's own calls: fatal errors keep
// libjpeg's message and jump back to the caller's setjmp, warnings are counted
// and data that ends early is noted, where libjpeg would print and exit. The
// same jump ends the work when the thread's work-stop check asks for it.

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

namespace quaylet::imageprep {

struct JpegErrorManager {
    jpeg_error_mgr pub; // first: libjpeg hands back a pointer to it
    std::jmp_buf* jump = nullptr; // set before any libjpeg call that may fail
    bool prematureEnd = false;
    bool stopped = false; // the work-stop check ended the work
    char message[JMSG_LENGTH_MAX] = {};
    jpeg_progress_mgr progress{};
};

// Fills `manager` and returns what a libjpeg object's `err` points to.
jpeg_error_mgr* UseJpegErrors(JpegErrorManager& manager);

// What a libjpeg object's `progress` points to so that its work stops, with
// the message "stopped", once the current thread's work-stop check asks for
// it (libjpeg reports progress a few rows at a time). Uses the object's error
// manager, which must be `manager`.
jpeg_progress_mgr* StopWhenAsked(JpegErrorManager& manager);

inline constexpr const char* kJpegStoppedMessage = "stopped";

} // namespace quaylet::imageprep
