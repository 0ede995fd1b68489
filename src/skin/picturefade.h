#pragma once

// The frames of a picture control's cross-fade: eleven frames, the old
// picture fading out over black while the new one fades in on top.

#include <QImage>
#include <QSize>

namespace quaylet {

inline constexpr int kFadeFrames = 11;

// Constant opacities (0..255) of frame k, 0 <= k < kFadeFrames.
constexpr int FadeOutOpacity(int k)
{
    return (2550 - 255 * k) / 10;
}
constexpr int FadeInOpacity(int k)
{
    return 255 * k / 10;
}

// A black box of the given size (device pixel ratio dpr) with image drawn
// at its FitPictureRect; a null image leaves the box black.
QImage RenderFitted(const QImage& image, QSize box, qreal dpr);

// Frame k: black, then the old picture blended at FadeOutOpacity(k), then the
// new one at FadeInOpacity(k). Both pictures come from RenderFitted.
QImage ComposeFadeFrame(const QImage& oldPicture, const QImage& newPicture, int k);

} // namespace quaylet
