#pragma once

// How an upload step reaches the window: the progress bar takes every
// percentage, the status line takes "Uploading: <p>%" through the rate
// limiter, except at 98 % and above, which are set directly so that the final
// percentage is never the one the limiter drops.

#include "transfer/delaymethodcall.h"
#include "transfer/windowreactions.h"

#include <string>

namespace quaylet {

std::string UploadProgressText(int percent);
void ReportUploadProgress(IWindowReactions& window, CDelayMethodCall& statusLimiter, int percent);

} // namespace quaylet
