#pragma once

// The dialog that takes the main window's place after a batch has been
// uploaded: a link to the user's account page, a bar back to the upload
// window and a help button.

#include "skin/skindialog.h"

#include <QPoint>

#include <memory>
#include <string>

namespace quaylet {

class CHoverButton;
class CSkinStatic;

class CUploadCompletedDlg final : public KLSkinDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUploadCompletedDlg)

public:
    CUploadCompletedDlg(bool alwaysOnTop, bool shown, QWidget* parent,
                        SkinPictureLoader loader = LoadSkinPictureResource);
    ~CUploadCompletedDlg() override;

    // Before exec(): the site address, "/" and the user name.
    void SetAccountPageAddress(const std::string& address);
    // The window's last top-left, for the caller after exec().
    QPoint LastPosition() const { return m_lastPosition; }
    // When shown differs from the current flag: take it, and show or hide
    // the window accordingly. The flag starts as the caller gave it, even
    // though the dialog is visible while it runs.
    void SetDialogShown(bool shown);
    bool IsDialogShown() const { return m_shown; }
    // What the main window's Exit does while the dialog runs: end it with
    // Cancel, then emit exitAfterClose().
    void RequestExit();

    int exec() override;

Q_SIGNALS:
    // The Help button: the main window opens its help page.
    void helpRequested();
    // The dialog ended through RequestExit. Posted when exec() returns, so
    // that the caller's own steps after exec() come first; a dialog destroyed
    // before the posted call ran emits it from its destructor instead.
    void exitAfterClose();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class ReturnStaticEvents;

    void PlaceOverParent();
    void EmitExitAfterClose();

    const bool m_alwaysOnTop;
    bool m_shown;
    QPoint m_lastPosition;
    bool m_placed = false;
    bool m_exitRequested = false; // by RequestExit during this run
    bool m_exitPending = false;   // exitAfterClose is owed
    // Outlives the return label, which calls it.
    std::unique_ptr<ReturnStaticEvents> m_events;
    std::unique_ptr<CSkinStatic> m_linkLabel;
    std::unique_ptr<CSkinStatic> m_returnLabel;
    std::unique_ptr<CHoverButton> m_helpButton;
};

} // namespace quaylet
