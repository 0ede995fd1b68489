#pragma once

// What a front end draws for the transfer engine. The engine decides (state
// texts, counts, balloons, the success path); a view only shows. The widget
// window and the headless uploader each implement it.
//
// Threads: called on whichever thread the engine's reactions run on: the
// window thread for the widget window, the transfer thread for the uploader.

#include "transfer/uploadqueue.h"
#include "transfer/windowreactions.h"

#include <string>

namespace quaylet {

class ITransferView {
public:
    virtual ~ITransferView() = default;

    // The status line shows the state's text; Cancel is enabled for states 1, 2, 3, 5 and 6
    // (files held by a pause).
    virtual void showState(TransferState state, const std::string& statusText) = 0;
    // The count display, e.g. " 3 of 7"; empty after a queue reset.
    virtual void showCount(const std::string& countText) = 0;
    // The head of the queue is being worked on (preview, progress bar shown).
    virtual void showNextFile(const QueueRow& row) = 0;
    // The queue was reset: preview and progress bar hidden.
    virtual void showQueueReset() = 0;
    virtual void showProgress(int position) = 0;
    virtual void showProgressMaximum(int maximum) = 0;
    // A status text straight from the engine (upload and encoder percentages).
    virtual void showStatusText(const std::string& text) = 0;
    virtual void showBalloon(const Balloon& balloon) = 0;
    // The premium upgrade page with limit 1 (photos) or 2 (videos).
    virtual void openUpgradePage(int limit) = 0;
    // The e-mail page, offered once per run after the first successful batch.
    virtual void openEmailPage() = 0;
    // The batch ended with a successful upload: the upload-completed dialog.
    virtual void runUploadCompleted() = 0;
    // The "Upload Successful!" notice went up (whether or not its balloon is
    // shown): a click on the tray may now open the account page.
    virtual void armSuccessBalloon() {}
    // A notification and its picture are ready.
    virtual void showNotification() {}
};

} // namespace quaylet
