#include "dialogs/aboutdlg.h"

#include "skin/skinregistration.h"
#include "skin/hoverbutton.h"
#include "skin/skinfonts.h"
#include "skin/skinstatic.h"
#include "skin/skintables.h"

#include <QKeyEvent>

namespace quaylet {

namespace {

// The label names the platform the client runs on.
constexpr const char* kProgramName = "Glimmerly for Linux";

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent, std::optional<std::array<int, 4>> version, SkinPictureLoader loader)
    : KLSkinDialog(parent, std::move(loader))
    , m_label(std::make_unique<CSkinStatic>(this))
    , m_closeButton(std::make_unique<CHoverButton>(this))
{
    EnsureSkinFonts();
    const SkinTable& table = AboutSkin();
    SetSkin(table.skinId, table.maskId, table.overId, table.downId, QColor::fromRgb(table.transparent));
    RegisterSkinTable(*this, table, [this](const SkinElementRow& row) -> SkinRowControl {
        if (row.controlId == SkinControl::kAboutLabel)
            return {.label = m_label.get()};
        if (row.controlId == SkinControl::kAboutClose)
            return {.button = m_closeButton.get()};
        return {};
    });
    LoadSkin();

    connect(m_closeButton.get(), &QAbstractButton::clicked, this, &QDialog::accept);
    setWindowTitle(QStringLiteral("About Glimmerly"));
    m_closeButton->SetSpokenName(QStringLiteral("Close"));

    if (!version) {
        m_label->SetText(QString::fromUtf8(kProgramName));
        return;
    }
    const auto [major, minor, patch, tweak] = *version;
    m_label->SetText(QString::asprintf("%s %d.%d.%d.%d", kProgramName, major, minor, patch, tweak));
    m_label->setAlignment(Qt::AlignCenter);
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        event->accept();
        return;
    }
    KLSkinDialog::keyPressEvent(event);
}

} // namespace quaylet
