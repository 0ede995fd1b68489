#pragma once

// What the application object needs of its main window. The executable's main
// supplies the real (widget) window through a factory, so the application
// object itself stays free of any GUI code.

#include <functional>
#include <memory>

namespace quaylet {

class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Show the window (restored if minimised) and bring it to the front.
    virtual void activate() = 0;
    // End the window's run as its Exit command would.
    virtual void requestClose() = 0;
    // Runs the window until it ends; returns when the client should exit.
    virtual int run() = 0;
};

// Creates the main window; visible is false for a start with "/s".
using MainWindowFactory = std::function<std::unique_ptr<IMainWindow>(bool visible)>;

} // namespace quaylet
