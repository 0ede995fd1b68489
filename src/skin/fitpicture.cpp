#include "skin/fitpicture.h"

#include <cstdint>

namespace quaylet {

namespace {

// In 64 bits, so that no size a picture file can claim overflows the product.
int Scale(int side, int numerator, int denominator)
{
    return static_cast<int>(static_cast<int64_t>(side) * numerator / denominator);
}

// The full side of the box first; the other side follows the picture's
// proportions, and while it does not fit the full side shrinks by 4.
void FitSides(int& side, int& other, int otherLimit, int imageSide, int imageOther)
{
    other = Scale(imageOther, side, imageSide);
    while (other > otherLimit) {
        side -= 4;
        other = Scale(imageOther, side, imageSide);
        if (other <= 0) {
            break;
        }
    }
}

} // namespace

PictureRect FitPictureRect(int w, int h, int iw, int ih)
{
    int W = w;
    int H = h;
    if (iw != 0 && ih != 0) {
        if (ih < iw) {
            FitSides(W, H, h, iw, ih);
        } else {
            FitSides(H, W, w, ih, iw);
        }
    }
    return PictureRect{w / 2 - W / 2, h / 2 - H / 2, w / 2 + W / 2, h / 2 + H / 2};
}

} // namespace quaylet
