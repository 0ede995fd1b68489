#include "skin/skinelements.h"

#include "core/logfile.h"
#include "skin/skinlayout.h"

#include <QWidget>

#include <cmath>
#include <utility>

namespace quaylet {

KLSkinElement::KLSkinElement(QWidget& control, int controlId, QRgb maskColour, std::string name)
    : m_control(control), m_controlId(controlId), m_maskColour(MaskRgb(maskColour)), m_name(std::move(name))
{
}

KLSkinElement::~KLSkinElement() = default;

void KLSkinElement::Apply(const QRect&, const QImage&, const QImage&, const QImage&) {}

QImage CropSkinPicture(const QImage& picture, const QRect& box)
{
    if (picture.isNull())
        return {};
    const qreal ratio = picture.devicePixelRatio();
    const QRect scaled(static_cast<int>(std::lround(box.x() * ratio)),
                       static_cast<int>(std::lround(box.y() * ratio)),
                       static_cast<int>(std::lround(box.width() * ratio)),
                       static_cast<int>(std::lround(box.height() * ratio)));
    QImage piece = picture.copy(scaled);
    piece.setDevicePixelRatio(ratio);
    return piece;
}

KLSkinButtonElement::KLSkinButtonElement(QWidget& control, ISkinButton& button, int controlId,
                                         QRgb maskColour, std::string name, bool loadFromFile)
    : KLSkinElement(control, controlId, maskColour, std::move(name)), m_button(button),
      m_loadFromFile(loadFromFile)
{
}

void KLSkinButtonElement::Apply(const QRect& box, const QImage& skin, const QImage& over, const QImage& down)
{
    QImage normal;
    QImage hover;
    QImage pressed;
    if (skin.isNull() || m_loadFromFile) {
        normal = QImage(QString::fromStdString(name() + ".bmp"));
    } else {
        normal = CropSkinPicture(skin, box);
    }
    if (!m_loadFromFile) {
        hover = CropSkinPicture(over, box);
        pressed = CropSkinPicture(down, box);
    }
    if (normal.isNull())
        WriteLog(LogMilestone, "KLSkinButtonElement: no skin image for %s", name().c_str());
    if (hover.isNull())
        WriteLog(LogMilestone, "KLSkinButtonElement: no hover image for %s", name().c_str());
    if (pressed.isNull())
        WriteLog(LogMilestone, "KLSkinButtonElement: no down image for %s", name().c_str());
    m_button.setImages(normal, hover, pressed);
}

KLSkinStaticElement::KLSkinStaticElement(QWidget& control, ISkinLabel& label, int controlId, QRgb maskColour,
                                         std::string name, SkinLabelStyle style)
    : KLSkinElement(control, controlId, maskColour, std::move(name)), m_label(label),
      m_style(std::move(style))
{
}

void KLSkinStaticElement::Apply(const QRect&, const QImage&, const QImage&, const QImage&)
{
    // The link flag first: the label's underline and click reporting follow it
    // as it is when the font is set.
    m_label.setLink(m_style.link);
    m_label.setTextColor(m_style.textColour);
    m_label.setLabelFont(m_style.fontFace, m_style.fontSizeInTenths, m_style.bold, false, false);
}

KLSkinProgressElement::KLSkinProgressElement(QWidget& control, ISkinProgress& progress, int controlId,
                                             QRgb maskColour, std::string name, SkinProgressColours colours)
    : KLSkinElement(control, controlId, maskColour, std::move(name)), m_progress(progress), m_colours(colours)
{
}

void KLSkinProgressElement::Apply(const QRect&, const QImage&, const QImage&, const QImage&)
{
    m_progress.setColors(m_colours.background, m_colours.bar, m_colours.border);
}

} // namespace quaylet
