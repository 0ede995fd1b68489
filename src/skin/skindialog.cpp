#include "skin/skindialog.h"

#include "core/logfile.h"
#include "skin/skinlayout.h"
#include "skin/skinresources.h"
#include "skin/skintables.h"

#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <cerrno>

namespace quaylet {

namespace {

// Wayland lets no client place its window: the compositor moves it instead.
bool CompositorMovesWindows()
{
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

} // namespace

SkinPicture LoadSkinPictureResource(int id, int scale)
{
    RegisterSkinResources();
    if (scale >= 2) {
        QImage sharp(SkinResourcePath2x(id));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2);
            return {sharp, 0};
        }
    }
    const QString path = SkinResourcePath(id);
    if (!QFile::exists(path))
        return {QImage(), ENOENT};
    QImage image(path);
    if (image.isNull())
        return {QImage(), EILSEQ};
    return {image, 0};
}

KLSkinDialog::KLSkinDialog(QWidget* parent, SkinPictureLoader loader)
    : CSnapDialog(parent), m_loader(std::move(loader))
{
    setWindowFlag(Qt::FramelessWindowHint);
    // Outside the outline nothing is drawn, so on a compositing desktop the
    // cut corners show what lies behind, without a halo.
    setAttribute(Qt::WA_TranslucentBackground);
}

KLSkinDialog::~KLSkinDialog() = default;

void KLSkinDialog::SetSkin(int skinId, int maskId, int overId, int downId, const QColor& transparent)
{
    m_skinId = skinId;
    m_maskId = maskId;
    m_overId = overId;
    m_downId = downId;
    m_transparent = MaskRgb(transparent.rgb());
}

void KLSkinDialog::AddPictureElement(QWidget& picture, int controlId, const QColor& maskColour,
                                     const std::string& name)
{
    Register("picture", std::make_unique<KLSkinPreviewElement>(picture, controlId, maskColour.rgb(), name));
}

void KLSkinDialog::AddEditElement(QWidget& edit, int controlId, const QColor& maskColour,
                                  const std::string& name)
{
    Register("edit", std::make_unique<KLSkinEditElement>(edit, controlId, maskColour.rgb(), name));
}

void KLSkinDialog::Register(const char* kind, std::unique_ptr<KLSkinElement> element)
{
    const QRgb colour = element->maskColour();
    WriteLog(LogTrace, "KLSkinDialog: Skinning %s element \"%s\" with mask color RGB(%d,%d,%d)", kind,
             element->name().c_str(), qRed(colour), qGreen(colour), qBlue(colour));
    // Screen readers name a control by what the user reads on it or beside
    // it (the dialogs give those names); the element's name tells tools which
    // part of the skin it is.
    QWidget& control = element->control();
    if (control.accessibleDescription().isEmpty())
        control.setAccessibleDescription(QString::fromStdString(element->name()));
    m_elements.push_back(std::move(element));
}

SkinPicture KLSkinDialog::Load(int id, int scale) const
{
    return m_loader ? m_loader(id, scale) : SkinPicture{QImage(), ENOENT};
}

void KLSkinDialog::LoadSkin()
{
    // Pictures at twice the size on a screen that shows them so; boxes and the
    // outline stay in the mask's pixels either way.
    const int scale = devicePixelRatioF() >= 2 ? 2 : 1;
    SkinPicture skin = Load(m_skinId, scale);
    if (skin.image.isNull()) {
        WriteLog(LogMilestone, "KLSkinDialog: Failed to load skin with an err: %d", skin.error);
        return;
    }
    m_skin = skin.image;
    update();

    const SkinPicture mask = Load(m_maskId, 1);
    if (mask.image.isNull()) {
        WriteLog(LogMilestone, "KLSkinDialog: Failed to load mask bitmap");
        return;
    }
    const SkinPicture over = Load(m_overId, scale);
    if (over.image.isNull())
        WriteLog(LogMilestone, "KLSkinDialog: Failed to load over bitmap");
    const SkinPicture down = Load(m_downId, scale);
    if (down.image.isNull())
        WriteLog(LogMilestone, "KLSkinDialog: Failed to load down bitmap");

    std::vector<QRgb> colours;
    colours.reserve(m_elements.size());
    for (const auto& element : m_elements)
        colours.push_back(element->maskColour());
    const std::optional<SkinLayout> layout = BuildSkinLayout(mask.image, m_transparent, colours);
    if (!layout)
        return;

    resize(layout->window.boundingRect().size());
    setMask(layout->window);
    m_shaped = true;

    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const std::optional<QRect>& box = layout->boxes[i];
        if (!box)
            continue;
        KLSkinElement& element = *m_elements[i];
        element.control().setGeometry(*box);
        element.Apply(*box, m_skin, over.image, down.image);
    }
}

void KLSkinDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Without a skin picture, or without a mask cutting the window to it, the
    // dialog's own background shows where the picture does not reach.
    if (m_skin.isNull() || !m_shaped)
        painter.fillRect(rect(), palette().window());
    if (!m_skin.isNull())
        painter.drawImage(QPoint(0, 0), m_skin);
}

void KLSkinDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        CSnapDialog::mousePressEvent(event);
        return;
    }
    if (CompositorMovesWindows() && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
    } else {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - pos();
    }
    event->accept();
}

void KLSkinDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        CSnapDialog::mouseMoveEvent(event);
        return;
    }
    MoveSnapped(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void KLSkinDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        event->accept();
        return;
    }
    CSnapDialog::mouseReleaseEvent(event);
}

} // namespace quaylet
