#pragma once

// What the application object needs of its main window. The executable's main
// supplies the real (widget) window through a factory, so the application
// object itself stays free of any GUI code.

#include "platform/events.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quaylet {

class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Show the window (restored if minimised) and bring it to the front.
    virtual void activate() = 0;
    // End the window's run as its Exit command would.
    virtual void requestClose() = 0;
    // Queues files and folders as a drop on the window would. Paths that come
    // before the window runs (while it signs in) wait until it does.
    virtual void queuePaths(const std::vector<std::string>& paths) = 0;
    // Runs the window until it ends; returns when the client should exit.
    virtual int run() = 0;
};

// What the factory hands the window it creates.
struct MainWindowStart {
    bool visible = true; // false for a start with "/s"
    // Set once the session ends (SIGTERM, SIGINT or SIGHUP). The window's
    // start-up sign-in runs before the window's event loop, so it cannot see
    // the close request and waits on this instead. Outlives the window.
    const platform::Event* quitRequested = nullptr;
};

using MainWindowFactory = std::function<std::unique_ptr<IMainWindow>(const MainWindowStart&)>;

} // namespace quaylet
