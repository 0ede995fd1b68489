#include "media/imageprep_jpegerror.h"

#include "platform/workstop.h"

#include <cstring>

#include <jerror.h>

namespace quaylet::imageprep {

namespace {

// error_exit must not return: it jumps back with longjmp.
[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(*manager->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)
        manager->prematureEnd = true;
    ++cinfo->err->num_warnings;
}

void checkForStop(j_common_ptr cinfo)
{
    if (!platform::WorkStopRequested())
        return;
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    manager->stopped = true;
    std::strncpy(manager->message, kJpegStoppedMessage, sizeof manager->message - 1);
    std::longjmp(*manager->jump, 1);
}

} // namespace

jpeg_progress_mgr* StopWhenAsked(JpegErrorManager& manager)
{
    manager.progress.progress_monitor = checkForStop;
    return &manager.progress;
}

jpeg_error_mgr* UseJpegErrors(JpegErrorManager& manager)
{
    jpeg_error_mgr* err = jpeg_std_error(&manager.pub);
    err->error_exit = errorExit;
    err->emit_message = emitMessage;
    return err;
}

} // namespace quaylet::imageprep
