#pragma once

// The drop window's drawing of the transfer engine: the status line and its
// animation, the count, the preview (a still frame for videos, made off the
// window thread), the progress bar and the Cancel button. What is not drawing
// (tray balloons, web pages, the upload-completed dialog) goes to the window
// through MainWindowActions.
//
// Threads: window thread only. Previews (a video's still frame, any picture's
// decoding at the preview's size) are made by a CPreviewMaker on a thread of
// its own; the answer comes back as a queued call and is dropped when a newer
// file (or a queue reset) has come since.

#include "engine/transferview.h"
#include "window/mainwindowcontrols.h"
#include "window/previewmaker.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quaylet {

struct MainWindowActions {
    std::function<void(const QString& statusText)> statusShown; // the tray tooltip follows
    std::function<void(const Balloon&)> balloon;
    std::function<void(int limit)> upgradePage;
    std::function<void()> emailPage;
    std::function<void()> uploadCompleted;
    std::function<void()> successBalloonArmed;
    std::function<void()> notification;
};

class CMainWindowView final : public QObject, public ITransferView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainWindowView)

public:
    static constexpr int kAnimationIntervalMs = 700;
    static constexpr int kPreviewFadeMs = 500;

    CMainWindowView(MainWindowControls controls, MainWindowActions actions, QObject* parent = nullptr);
    // Waits for a preview still being made (a still frame's encoder run at most).
    ~CMainWindowView() override;

    // Files were queued: the status animates while it reads "Resizing..." or
    // "Trying...".
    void startAnimation();
    void stopAnimation() { m_animation.stop(); }
    bool animating() const { return m_animation.isActive(); }
    TransferState state() const { return m_state; }

    void showState(TransferState state, const std::string& statusText) override;
    void showCount(const std::string& countText) override;
    void showNextFile(const QueueRow& row) override;
    void showQueueReset() override;
    void showProgress(int position) override;
    void showProgressMaximum(int maximum) override;
    void showStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;
    void openUpgradePage(int limit) override;
    void openEmailPage() override;
    void runUploadCompleted() override;
    void armSuccessBalloon() override;
    void showNotification() override;

private:
    void animate();
    void requestPreview(const std::string& path, bool video);
    void showPreview(const PreviewAnswer& answer);
    void showFilmStrip();

    MainWindowControls m_controls;
    MainWindowActions m_actions;
    QTimer m_animation;
    TransferState m_state = kStateReady;
    uint64_t m_previewGeneration = 0; // a still frame for an older file is dropped
    CPreviewMaker m_previews; // last: its thread answers into the members above
};

} // namespace quaylet
