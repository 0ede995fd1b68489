#pragma once

// The elements a skinned dialog registers: each names one of its controls and
// the colour that marks the control's area in the mask. Once the mask has
// given an element its box, the dialog places the control there and the
// element dresses it from the skin pictures.

#include "skin/skinnedcontrols.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRgb>

#include <string>

class QWidget;

namespace quaylet {

class KLSkinElement {
    Q_DISABLE_COPY_MOVE(KLSkinElement)

public:
    // control: a child of the dialog, which outlives the element.
    KLSkinElement(QWidget& control, int controlId, QRgb maskColour, std::string name);
    virtual ~KLSkinElement();

    // Dresses the control for its box (dialog coordinates, which are mask
    // pixels) from the skin, over and down pictures, any of which may be null.
    virtual void Apply(const QRect& box, const QImage& skin, const QImage& over, const QImage& down);

    QWidget& control() const { return m_control; }
    int controlId() const { return m_controlId; }
    QRgb maskColour() const { return m_maskColour; }
    const std::string& name() const { return m_name; }

private:
    QWidget& m_control;
    int m_controlId;
    QRgb m_maskColour; // red, green and blue only
    std::string m_name;
};

// The part of a picture under a box given in mask pixels. A picture drawn at a
// larger scale (its device pixel ratio above 1) is cut at the same scale, so
// the piece stays sharp and keeps the box's logical size.
QImage CropSkinPicture(const QImage& picture, const QRect& box);

class KLSkinButtonElement final : public KLSkinElement {
public:
    // loadFromFile: take the normal image from the file named after the
    // element plus ".bmp" in the current directory, and no hover or down look.
    KLSkinButtonElement(QWidget& control, ISkinButton& button, int controlId, QRgb maskColour,
                        std::string name, bool loadFromFile);
    void Apply(const QRect& box, const QImage& skin, const QImage& over, const QImage& down) override;

private:
    ISkinButton& m_button;
    bool m_loadFromFile;
};

struct SkinLabelStyle {
    QColor textColour;
    QString fontFace;
    int fontSizeInTenths = 0;
    bool link = false;
    bool bold = false;
};

class KLSkinStaticElement final : public KLSkinElement {
public:
    KLSkinStaticElement(QWidget& control, ISkinLabel& label, int controlId, QRgb maskColour, std::string name,
                        SkinLabelStyle style);
    void Apply(const QRect& box, const QImage& skin, const QImage& over, const QImage& down) override;

private:
    ISkinLabel& m_label;
    SkinLabelStyle m_style;
};

// A picture control is only placed.
class KLSkinPreviewElement final : public KLSkinElement {
public:
    using KLSkinElement::KLSkinElement;
};

struct SkinProgressColours {
    QColor background;
    QColor bar;
    QColor border;
};

class KLSkinProgressElement final : public KLSkinElement {
public:
    KLSkinProgressElement(QWidget& control, ISkinProgress& progress, int controlId, QRgb maskColour,
                          std::string name, SkinProgressColours colours);
    void Apply(const QRect& box, const QImage& skin, const QImage& over, const QImage& down) override;

private:
    ISkinProgress& m_progress;
    SkinProgressColours m_colours;
};

// An edit control is only placed.
class KLSkinEditElement final : public KLSkinElement {
public:
    using KLSkinElement::KLSkinElement;
};

} // namespace quaylet
