#include "transfer/uploadprogress.h"

#include "app/stringtable.h"

#include <cstdio>

namespace quaylet {

std::string UploadProgressText(int percent)
{
    char text[128];
    std::snprintf(text, sizeof text, "%s: %d%%", LoadString(str::Uploading), percent);
    return text;
}

void ReportUploadProgress(IWindowReactions& window, CDelayMethodCall& statusLimiter, int percent)
{
    window.setProgressPosition(percent);
    const std::string text = UploadProgressText(percent);
    if (percent >= 98)
        window.setStatusText(text);
    else
        statusLimiter.call(text);
}

} // namespace quaylet
