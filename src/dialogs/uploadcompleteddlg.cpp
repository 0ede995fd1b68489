#include "dialogs/uploadcompleteddlg.h"

#include "core/stringtable.h"
#include "skin/skinregistration.h"
#include "skin/hoverbutton.h"
#include "skin/skinfonts.h"
#include "skin/skinstatic.h"
#include "skin/skinstaticevents.h"
#include "skin/skintables.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMoveEvent>
#include <QEventLoop>
#include <QPointer>
#include <QShowEvent>

namespace quaylet {

class CUploadCompletedDlg::ReturnStaticEvents final : public SkinStaticCallback::SkinStaticEvents {
public:
    explicit ReturnStaticEvents(CUploadCompletedDlg& dialog) : m_dialog(dialog) {}

    void OnStaticClicked(bool& handled) override
    {
        handled = true;
        m_dialog.accept();
    }

private:
    CUploadCompletedDlg& m_dialog;
};

CUploadCompletedDlg::CUploadCompletedDlg(bool alwaysOnTop, bool shown, QWidget* parent, SkinPictureLoader loader)
    : KLSkinDialog(parent, std::move(loader))
    , m_alwaysOnTop(alwaysOnTop)
    , m_shown(shown)
    , m_events(std::make_unique<ReturnStaticEvents>(*this))
    , m_linkLabel(std::make_unique<CSkinStatic>(this))
    , m_returnLabel(std::make_unique<CSkinStatic>(this))
    , m_helpButton(std::make_unique<CHoverButton>(this))
{
    EnsureSkinFonts();
    if (alwaysOnTop)
        setWindowFlag(Qt::WindowStaysOnTopHint);
    const SkinTable& table = UploadCompletedSkin();
    SetSkin(table.skinId, table.maskId, table.overId, table.downId, QColor::fromRgb(table.transparent));
    RegisterSkinTable(*this, table, [this](const SkinElementRow& row) -> SkinRowControl {
        switch (row.controlId) {
        case SkinControl::kGalleryLink:
            return {.label = m_linkLabel.get()};
        case SkinControl::kReturnLabel:
            return {.label = m_returnLabel.get()};
        case SkinControl::kHelp:
            return {.button = m_helpButton.get()};
        default:
            return {};
        }
    });
    LoadSkin();

    // The heading painted into the picture names the window; the words the
    // picture carries under the labels name them for screen readers.
    setWindowTitle(QStringLiteral("Upload Completed"));
    m_linkLabel->setAccessibleName(QStringLiteral("Click here to view your photos on your Glimmerly gallery page"));
    m_returnLabel->setAccessibleName(QStringLiteral("Return to Upload Screen"));
    m_helpButton->SetSpokenName(QString::fromUtf8(LoadString(str::LaunchHelp)));

    // The picture carries the words; the labels only take the clicks.
    m_linkLabel->SetText(QString());
    m_returnLabel->SetText(QString());
    m_returnLabel->setAlignment(Qt::AlignCenter);
    m_returnLabel->SetEvents(m_events.get());
    connect(m_helpButton.get(), &QAbstractButton::clicked, this, &CUploadCompletedDlg::helpRequested);
}

CUploadCompletedDlg::~CUploadCompletedDlg()
{
    m_returnLabel->SetEvents(nullptr);
    EmitExitAfterClose();
}

void CUploadCompletedDlg::SetAccountPageAddress(const std::string& address)
{
    m_linkLabel->SetAddress(address);
}

void CUploadCompletedDlg::SetDialogShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    if (shown) {
        show();
        raise();
        activateWindow();
    } else {
        // Past QDialog, whose hiding would also end the modal run.
        QWidget::setVisible(false);
    }
}

void CUploadCompletedDlg::RequestExit()
{
    m_exitRequested = true;
    reject();
}

int CUploadCompletedDlg::exec()
{
    // QDialog's own modal run ends only when the dialog hides itself, which a
    // dialog hidden from the tray cannot do: Exit would never end it. This
    // run ends when the dialog finishes, visible or not.
    // Modal to the main window alone: an application-modal run would also
    // block the tray icon's own window and its balloons, which must toggle
    // this dialog and open the account page while it shows.
    m_exitRequested = false;
    setResult(0);
    const bool wasModal = testAttribute(Qt::WA_ShowModal);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_ShowModal, true);
    QPointer<CUploadCompletedDlg> alive(this);
    QEventLoop run;
    connect(this, &QDialog::finished, &run, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &run, &QEventLoop::quit);
    show();
    run.exec();
    if (!alive)
        return QDialog::Rejected;
    setAttribute(Qt::WA_ShowModal, wasModal);
    const int result = this->result();
    if (m_exitRequested) {
        m_exitPending = true;
        QMetaObject::invokeMethod(this, &CUploadCompletedDlg::EmitExitAfterClose, Qt::QueuedConnection);
    }
    return result;
}

void CUploadCompletedDlg::EmitExitAfterClose()
{
    if (!m_exitPending)
        return;
    m_exitPending = false;
    Q_EMIT exitAfterClose();
}

void CUploadCompletedDlg::PlaceOverParent()
{
    QWidget* parent = parentWidget();
    if (parent == nullptr)
        return;
    const QPoint at = parent->frameGeometry().topLeft() + QPoint(0, 1);
    move(at);
    m_lastPosition = at;
}

void CUploadCompletedDlg::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        PlaceOverParent();
        if (!m_alwaysOnTop) {
            // Once the window system has the window.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    raise();
                    activateWindow();
                },
                Qt::QueuedConnection);
        }
    }
    KLSkinDialog::showEvent(event);
}

void CUploadCompletedDlg::moveEvent(QMoveEvent* event)
{
    m_lastPosition = pos();
    KLSkinDialog::moveEvent(event);
}

void CUploadCompletedDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        accept();
        return;
    default:
        KLSkinDialog::keyPressEvent(event);
    }
}

} // namespace quaylet
