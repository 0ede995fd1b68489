#pragma once

// The drop window: the client's only top-level window. It signs the user in
// before anything else, starts the transfer engine, takes drops from the file
// manager, shows what the engine reports (through CMainWindowView), lives in
// the tray with its menus, and hides there instead of closing.
//
// Threads: window thread only. The transfer thread reaches it through the
// engine's reactions, marshalled onto this thread; the start-up sign-in and
// the connection checks after a drop run on threads of their own and answer
// here.

#include "app/mainwindowseam.h"
#include "core/backgroundtask.h"
#include "credentials/startupsignin.h"
#include "engine/connectionwarning.h"
#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"
#include "transfer/transfersteps.h"
#include "window/droparea.h"
#include "window/mainwindowcontrols.h"
#include "window/trayicon.h"

#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QFileDialog;
class QMenu;

namespace quaylet {

class CMainWindowView;
class CMarshalledWindowReactions;
class CUploadCompletedDlg;
class CUploadHistoryWnd;
class CWindowCallMarshal;
class DesktopNotifications;
class QueueJournal;
struct StoredRow;
class TransferEngine;
namespace platform {
class IFileRevealer;
}

// What tests (and other front ends) replace. Every member may be left empty
// for the real thing.
struct MainWindowSeams {
    std::function<std::unique_ptr<ITrayIcon>()> makeTray;
    // Runs a modal dialog and returns its result; tests answer dialogs here
    // (also those the window otherwise only opens and answers later).
    std::function<int(QDialog&)> runDialog;
    ConnectionChecks connectionChecks;
    // The start-up's credential sources; empty: the stored credentials.
    std::optional<std::vector<CredentialSource>> credentialSources;
    std::optional<TransferSteps> steps;
    bool pollNotifications = true;
    std::function<uint64_t()> uptimeMs;
    // Starts the replacement client after Logout; default: this program with "/q".
    std::function<void()> restartClient;
    // The main window's first showing; default: the weekly update check.
    std::function<void(QWidget& window)> firstShown;
    SkinPictureLoader skinLoader;
    // What shows a file in the file manager; default: the desktop's.
    std::function<std::unique_ptr<platform::IFileRevealer>()> makeRevealer;
};

class CKestrelioClientDlg final : public KLSkinDialog, public IMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CKestrelioClientDlg)

public:
    explicit CKestrelioClientDlg(const MainWindowStart& start, MainWindowSeams seams = {});
    ~CKestrelioClientDlg() override;

    // IMainWindow
    void activate() override;
    void requestClose() override;
    void queuePaths(const std::vector<std::string>& paths) override;
    int run() override;

    // Start-up as run() does it, without the event loop: false when the user
    // cancelled the sign-in (or a quit request came).
    bool StartUp();
    // The window's destruction steps; run() and the destructor call it once.
    void ShutDown();

    void SetShown(bool show, bool apply = true);
    bool IsShownFlag() const { return m_visible; }

    // The commands, as the menus and buttons run them.
    void OnCommand(int command);
    void OnCancel();
    void OnHelp();
    void OnTrayClick(TrayClick click, QPoint globalPos);
    // The window menu, as the Menu button opens it.
    void ShowWindowMenu() { ShowClientMenu(false, {}); }
    // Drops the local paths of a text/uri-list, exactly as a drop would.
    void DropUriList(const QByteArray& uriList);
    // Opens the file chooser (the drop area's Enter, Add Files...); the files
    // chosen there are queued as a drop of them would be.
    void ChooseFiles();

    // For tests and screenshots.
    TransferEngine* engine() { return m_engine.get(); }
    CMainWindowView* view() { return m_view.get(); }
    const MainWindowControls& controls() const { return m_controls; }
    ITrayIcon* tray() { return m_tray.get(); }
    CUploadCompletedDlg* uploadCompletedDialog() { return m_completed; }
    CUploadHistoryWnd* historyWindow();
    QFileDialog* fileChooser() { return m_chooser.get(); }
    DropArea& dropArea() { return m_dropArea; }
    QMenu* openMenu() { return m_menu.get(); }
    bool alwaysOnTop() const { return m_alwaysOnTop; }
    bool launchOnStartup() const { return m_launchOnStartup; }
    bool showNotifications() const { return m_showNotifications; }
    bool uploadsPaused() const { return m_uploadsPaused; }
    uint64_t uploadSpeed() const { return m_uploadSpeed; }
    bool exiting() const { return m_exiting; }

Q_SIGNALS:
    // The queue was emptied after a Cancel (for tests).
    void cancelFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void RegisterSkinElements();
    bool SignIn();
    void ReadOptions();
    void SetUpControls();
    void SetUpKeyboardAndScreenReaders();
    void RestorePlacement();
    void SavePlacement();
    void KeepInsideWorkArea();
    void WatchScreens();
    void StartEngine();
    void ResumeTaken(const std::vector<StoredRow>& rows);
    void ApplyAlwaysOnTop();
    // The upload history window: opened (or raised) from the menu, its rows
    // read on the store's thread whenever they change while it is open.
    void OpenHistory();
    void MakeHistory();
    void RefreshHistory();
    void ShowHistoryRows(std::vector<StoredRow> rows);
    void RetryFailed();
    void QueueRetried(const std::vector<StoredRow>& rows);

    void ShowBalloon(const Balloon& balloon);
    void TakeDownBalloon();
    void ShowStatusInTray(const QString& statusText);
    void RunUploadCompleted();
    void ShowServiceNotification();
    void OpenUpgradePage(int limit);
    void OpenEmailPage();
    void OpenAccountPage();
    std::string AccountPageAddress() const;

    void ShowClientMenu(bool trayMenu, QPoint globalPos);
    void Logout();
    void RestartClient();
    void ToggleLaunchOnStartup();
    void SetUploadSpeed(uint64_t bytesPerSecond);
    void Exit();
    void FinishCancel();
    // Makes a dialog of this window: transient for it, so that the window
    // manager keeps it above, and modal to it alone, so that the tray and its
    // balloons stay live while it shows.
    void MakeDialogOfThisWindow(QDialog& dialog);
    // Runs a dialog in a loop of its own, for the steps that must wait for
    // its answer (the start-up sign-in, the upload-completed dialog that the
    // transfer thread waits for).
    int RunDialog(QDialog& dialog);
    // Shows a dialog and returns at once; answered runs with its result once
    // it has ended, and the dialog is deleted after. While one such dialog
    // shows, another command that opens one brings it forward instead.
    void OpenDialog(std::unique_ptr<QDialog> dialog, std::function<void(int result)> answered);

    MainWindowSeams m_seams;
    const platform::Event* m_quitRequested;

    // The controls, children of this dialog.
    CCancelButton m_cancel;
    CHoverButton m_close;
    CHoverButton m_help;
    CHoverButton m_menuButton;
    CHoverButton m_login;
    CSkinStatic m_count;
    CSkinStatic m_status;
    CSkinStatic m_account;
    CPictureCtrl m_preview;
    CPictureCtrl m_placeholder;
    CSmoothProgress m_progress;
    DropArea m_dropArea;
    MainWindowControls m_controls;

    // Window state.
    bool m_visible;
    bool m_launchOnStartup = false;
    std::atomic<bool> m_showNotifications{false}; // read by the engine's reactions
    bool m_alwaysOnTop = false;
    bool m_uploadsPaused = false; // "PauseUploads"; the engine holds its own copy
    uint64_t m_uploadSpeed = 0; // bytes per second; 0: Unlimited
    bool m_updatePending = true;
    bool m_signedIn = false;
    bool m_signInDialogShown = false;
    bool m_startedUp = false;
    bool m_shutDown = false;
    bool m_exiting = false;
    bool m_exitAfterDialog = false; // Exit ended the upload-completed dialog
    bool m_successBalloon = false;
    std::string m_userName;
    // Paths handed over before the engine runs; queued once it does.
    std::vector<std::string> m_pendingPaths;
    // While the files an earlier run left are taken up, drops wait in
    // m_pendingPaths: the earlier files go first.
    bool m_resuming = false;

    std::unique_ptr<ITrayIcon> m_tray;
    std::unique_ptr<DesktopNotifications> m_notifications; // the service's notifications
    QTimer m_balloonTakeDown; // timer 2
    std::unique_ptr<QMenu> m_menu;
    QPointer<QDialog> m_modal; // the modal dialog that runs now, if any
    std::unique_ptr<QFileDialog> m_chooser; // made at its first use, kept for the folder it was in
    CUploadCompletedDlg* m_completed = nullptr;
    QPointer<CUploadHistoryWnd> m_history; // deleted when closed
    bool m_historyReading = false;          // a read of its rows is under way
    bool m_historyStale = false;            // rows changed while it was
    QTimer m_cancelWait; // polls the acknowledgement of a Cancel
    int m_cancelWaitedMs = 0;

    std::unique_ptr<CConnectionWarning> m_connection;
    std::unique_ptr<CMainWindowView> m_view;
    // The engine, and the marshal that brings its thread's calls here; the
    // engine is stopped before either goes.
    std::unique_ptr<QueueJournal> m_journal; // outlives the engine, which reports to it
    std::unique_ptr<CWindowCallMarshal> m_marshal;
    std::unique_ptr<CMarshalledWindowReactions> m_marshalled;
    std::unique_ptr<TransferEngine> m_engine;
    // Saving or forgetting the credentials: the keyring may wait for the user
    // to unlock it, so this runs off the window thread.
    std::unique_ptr<CBackgroundTask> m_credentialTask;
};

} // namespace quaylet
