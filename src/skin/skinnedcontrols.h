#pragma once

// What the skin engine needs of the controls it dresses. A skinned dialog
// registers each control with the element kind that dresses it; the element
// places the control (a QWidget) on its box in the mask and then calls one of
// these. The controls mix the interface in beside their QWidget base, so the
// engine depends on no control class and tests can dress simple stand-ins.
//
// All calls happen on the window thread, during LoadSkin.

#include <QColor>
#include <QImage>
#include <QString>

namespace quaylet {

// A button's three looks, cut from the skin pictures at the button's box.
// A null image means that look is missing (the engine has logged it); the
// button keeps its own copies from then on. The images may carry a device
// pixel ratio above 1 (pictures drawn at twice the size): draw them at their
// logical size, unscaled, at (0, 0).
class ISkinButton {
public:
    virtual void setImages(const QImage& normal, const QImage& hover, const QImage& down) = 0;

protected:
    ~ISkinButton() = default;
};

// A text label. The engine calls setLink, then setTextColor, then
// setLabelFont(face, size, bold, false, false), in that order, because the
// underline and click reporting follow the link flag as it is when the font
// is set.
class ISkinLabel {
public:
    virtual void setLink(bool link) = 0;
    virtual void setTextColor(const QColor& colour) = 0;
    // sizeInTenths: the size in tenths of a point (84 is 8.4 points).
    virtual void setLabelFont(const QString& face, int sizeInTenths, bool bold, bool forceUnderline,
                              bool forcePlain) = 0;

protected:
    ~ISkinLabel() = default;
};

// A flat progress bar's background, bar and border colours.
class ISkinProgress {
public:
    virtual void setColors(const QColor& background, const QColor& bar, const QColor& border) = 0;

protected:
    ~ISkinProgress() = default;
};

} // namespace quaylet
