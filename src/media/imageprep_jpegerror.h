#pragma once

// libjpeg's error handling for the codec's own calls: fatal errors keep
// libjpeg's message and jump back to the caller's setjmp, warnings are counted
// and data that ends early is noted, where libjpeg would print and exit.

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

namespace quaylet::imageprep {

struct JpegErrorManager {
    jpeg_error_mgr pub; // first: libjpeg hands back a pointer to it
    std::jmp_buf* jump = nullptr; // set before any libjpeg call that may fail
    bool prematureEnd = false;
    char message[JMSG_LENGTH_MAX] = {};
};

// Fills `manager` and returns what a libjpeg object's `err` points to.
jpeg_error_mgr* UseJpegErrors(JpegErrorManager& manager);

} // namespace quaylet::imageprep
