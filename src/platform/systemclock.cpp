#include "platform/systemclock.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

namespace quaylet::platform {

uint64_t UptimeMilliseconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::optional<uint64_t> IdleMilliseconds()
{
    // Wayland sessions also set DISPLAY for their X11 compatibility server, which
    // only sees input to X11 windows: trust it only in a real X11 session.
    const char* display = std::getenv("DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!display || !*display || (session && std::string_view(session) == "wayland"))
        return std::nullopt;

    struct DisplayCloser {
        void operator()(Display* d) const { XCloseDisplay(d); }
    };
    std::unique_ptr<Display, DisplayCloser> dpy(XOpenDisplay(nullptr));
    if (!dpy)
        return std::nullopt;
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(dpy.get(), &eventBase, &errorBase))
        return std::nullopt;
    struct InfoFree {
        void operator()(XScreenSaverInfo* i) const { XFree(i); }
    };
    std::unique_ptr<XScreenSaverInfo, InfoFree> info(XScreenSaverAllocInfo());
    if (!info || !XScreenSaverQueryInfo(dpy.get(), DefaultRootWindow(dpy.get()), info.get()))
        return std::nullopt;
    return info->idle;
}

} // namespace quaylet::platform
