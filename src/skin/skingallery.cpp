#include "skin/skingallery.h"

#include "core/stringtable.h"
#include "core/version.h"
#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skinfonts.h"
#include "skin/skinregistration.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"

#include <QFile>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace quaylet {

namespace {

constexpr std::string_view kSampleUser = "sample.user";

QColor Colour(QRgb rgb)
{
    return QColor::fromRgb(rgb);
}

QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Text(int id)
{
    return QString::fromUtf8(LoadString(id));
}

} // namespace

QImage DrawSamplePhoto()
{
    QImage photo(1200, 900, QImage::Format_RGB32);
    QPainter p(&photo);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 560);
    sky.setColorAt(0, QColor(52, 112, 196));
    sky.setColorAt(1, QColor(250, 196, 132));
    p.fillRect(photo.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 170));
    p.drawEllipse(QPointF(820, 330), 70, 70);
    QPainterPath far;
    far.moveTo(0, 600);
    far.cubicTo(250, 380, 450, 420, 650, 560);
    far.cubicTo(820, 460, 1000, 400, 1200, 540);
    far.lineTo(1200, 900);
    far.lineTo(0, 900);
    p.fillPath(far, QColor(74, 96, 132));
    QPainterPath near;
    near.moveTo(0, 700);
    near.cubicTo(300, 600, 700, 760, 1200, 640);
    near.lineTo(1200, 900);
    near.lineTo(0, 900);
    p.fillPath(near, QColor(46, 104, 62));
    return photo;
}

SkinGalleryDialog::SkinGalleryDialog(const SkinTable& table, GalleryScene scene, QWidget* parent,
                                     SkinPictureLoader loader)
    : KLSkinDialog(parent, std::move(loader)), m_table(table)
{
    EnsureSkinFonts();
    setWindowTitle(ToQString(table.dialog));
    SetSkin(table.skinId, table.maskId, table.overId, table.downId, Colour(table.transparent));
    RegisterSkinTable(*this, table, [this](const SkinElementRow& row) { return MakeControl(row); });
    LoadSkin();
    for (std::size_t i = 0; i < table.elements.size(); ++i)
        FillSample(table.elements[i], *m_controls[i], scene);
}

SkinGalleryDialog::~SkinGalleryDialog() = default;

template <class Control> Control& SkinGalleryDialog::Make()
{
    auto control = std::make_unique<Control>(this);
    Control& made = *control;
    m_controls.push_back(std::move(control));
    return made;
}

SkinRowControl SkinGalleryDialog::MakeControl(const SkinElementRow& row)
{
    switch (row.kind) {
    case SkinElementKind::Button:
        if (row.name == "Cancel") {
            auto& cancel = Make<CCancelButton>();
            cancel.SetFillColour(Colour(kCancelBarColour));
            return {.button = &cancel};
        }
        return {.button = &Make<CHoverButton>()};
    case SkinElementKind::Static:
        return {.label = &Make<CSkinStatic>()};
    case SkinElementKind::Picture:
        return {.picture = &Make<CPictureCtrl>()};
    case SkinElementKind::Progress:
        return {.progress = &Make<CSmoothProgress>()};
    case SkinElementKind::Edit:
        return {.edit = &Make<QLineEdit>()};
    }
    return {};
}

void SkinGalleryDialog::FillSample(const SkinElementRow& row, QWidget& control, GalleryScene scene)
{
    // A colour that an earlier row already claimed gives this control no
    // place; the real window shows it only over the first one, so hide it.
    const auto rows = m_table.elements;
    for (const SkinElementRow& earlier : rows) {
        if (&earlier == &row)
            break;
        if (earlier.maskColour == row.maskColour) {
            control.hide();
            return;
        }
    }

    const bool busy = scene == GalleryScene::Busy;
    const bool mainWindow = &m_table == &MainWindowSkin();
    const bool signedIn = &m_table == &SignedInSkin();

    if (auto* cancel = qobject_cast<CCancelButton*>(&control)) {
        cancel->SetToolTipText(Text(str::CancelUpload), true);
        busy ? cancel->EnableButton() : cancel->DisableButton();
    } else if (auto* button = qobject_cast<CHoverButton*>(&control); button != nullptr && mainWindow) {
        if (row.controlId == SkinControl::kHelp)
            button->SetToolTipText(Text(str::LaunchHelp), true);
        if (row.controlId == SkinControl::kClose)
            button->SetToolTipText(Text(str::MinimizeToTray), true);
        if (row.controlId == SkinControl::kMenu) {
            button->SetToolTipText(Text(str::Menu), true);
            button->SetMenuButton(true);
        }
    } else if (auto* label = qobject_cast<CSkinStatic*>(&control)) {
        switch (row.controlId) {
        case SkinControl::kCount:
            label->SetText(busy ? QString::asprintf(LoadString(str::CountFormat), 1, 3) : QString());
            break;
        case SkinControl::kStatus:
            label->SetText(Text(busy ? str::Uploading : str::Ready));
            break;
        case SkinControl::kAccountLine:
            label->SetLabelFont(QString::fromUtf8(kSkinFontFace), row.label.fontSizeTenths, false, false,
                                true);
            label->SetText(QStringLiteral("Go To My Glimmerly Account"));
            label->setVisible(!busy);
            break;
        case SkinControl::kCreateAccount:
            label->setAlignment(Qt::AlignCenter);
            label->SetText(QStringLiteral("Create an account"));
            break;
        case SkinControl::kSignInError:
            label->setAlignment(Qt::AlignCenter);
            label->SetText(signedIn ? QString() : Text(str::LoginIncorrect));
            break;
        case SkinControl::kAboutLabel: {
            label->setAlignment(Qt::AlignCenter);
            const auto [major, minor, patch, tweak] = GetOwnVersion();
            label->SetText(QStringLiteral("Glimmerly for Linux %1.%2.%3.%4")
                               .arg(major)
                               .arg(minor)
                               .arg(patch)
                               .arg(tweak));
            break;
        }
        case SkinControl::kReturnLabel:
            label->setAlignment(Qt::AlignCenter);
            label->SetText(QString());
            break;
        default:
            // The picture carries the words; the label only takes the clicks.
            label->SetText(QString());
            break;
        }
    } else if (auto* picture = qobject_cast<CPictureCtrl*>(&control)) {
        if (row.controlId == SkinControl::kPreview && busy)
            picture->LoadPicture(SamplePicture());
        picture->setVisible(busy);
    } else if (auto* progress = qobject_cast<CSmoothProgress*>(&control)) {
        progress->SetMaximum(100);
        progress->SetPos(40);
        progress->setVisible(busy && row.controlId == SkinControl::kProgress);
    } else if (auto* edit = qobject_cast<QLineEdit*>(&control)) {
        edit->setMaxLength(30);
        if (row.controlId == SkinControl::kPasswordField) {
            // Signed in, the field shows "***" as plain text, as the real dialog does.
            edit->setEchoMode(signedIn ? QLineEdit::Normal : QLineEdit::Password);
            edit->setText(signedIn ? QStringLiteral("***") : QStringLiteral("password"));
        } else if (row.controlId == SkinControl::kUserField) {
            edit->setText(ToQString(kSampleUser));
        }
        edit->setReadOnly(signedIn);
    }
}

std::string SkinGalleryDialog::SamplePicture()
{
    if (!m_sampleFolder.isValid())
        return {};
    const QString path = m_sampleFolder.filePath(QStringLiteral("sample-photo.png"));
    if (!QFile::exists(path) && !DrawSamplePhoto().save(path))
        return {};
    return QFile::encodeName(path).toStdString();
}

std::span<const GalleryEntry> GalleryEntries()
{
    static const std::array<GalleryEntry, 6> entries{{
        {"main-window", MainWindowSkin(), GalleryScene::Idle},
        {"main-window-busy", MainWindowSkin(), GalleryScene::Busy},
        {"sign-in", SignInSkin(), GalleryScene::Idle},
        {"signed-in", SignedInSkin(), GalleryScene::Idle},
        {"about", AboutSkin(), GalleryScene::Idle},
        {"upload-completed", UploadCompletedSkin(), GalleryScene::Idle},
    }};
    return entries;
}

} // namespace quaylet
