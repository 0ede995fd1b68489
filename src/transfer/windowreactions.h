#pragma once

// The transfer engine's only way to reach the window: the window's reactions
// to the engine's reports. The widget window implements it on its own thread
// and gives the engine a CMarshalledWindowReactions (windowcallmarshal.h),
// which hands each call to the window thread and waits for it; the headless
// front end and the tests implement it directly.
// Calls are delivered synchronously and in order, and once the quit event is
// set no call may block, so a window being destroyed can never deadlock the
// transfer thread.

#include <cstdint>
#include <string>

namespace quaylet {

// Message numbers, kept for logs and tests.
enum WindowMessage : uint32_t {
    kMsgTransferState = 0x8002, // parameter: a TransferState
    kMsgNextRow = 0x8003,       // the head of the queue changed
    kMsgActivate = 0x8004,      // tray event, or -1: show yourself
    kMsgAccountInfo = 0x8005,   // account information was fetched
    kMsgNotification = 0x8006,  // a notification and its picture are ready
    kMsgExitWhileDialog = 0x8007,
};

enum TransferState : int {
    kStateReady = 0,
    kStateResizing = 1,
    kStateEncoding = 2,
    kStateUploading = 3,
    kStateUploaded = 4,
    kStateTrying = 5,
    // The queue is paused with files waiting: the one at work has finished.
    kStatePaused = 6,
};

enum class BalloonIcon { None, Info, Warning, Error };

struct Balloon {
    std::string title;
    std::string text;
    BalloonIcon icon = BalloonIcon::Info;
    int timeoutMs = 10000;
    int takeDownMs = 8000;
};

class IWindowReactions {
public:
    virtual ~IWindowReactions() = default;
    // One of the messages above with its second parameter.
    virtual void sendMessage(WindowMessage message, int64_t parameter) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void showBalloon(const Balloon& balloon) = 0;
};

} // namespace quaylet
