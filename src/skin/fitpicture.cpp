#include "skin/fitpicture.h"

#include <cstdint>

namespace quaylet {

namespace {

// In 64 bits, so that no size a picture file can claim overflows the product.
int Scale(int side, int numerator, int denominator)
{
    return static_cast<int>(static_cast<int64_t>(side) * numerator / denominator);
}

} // namespace

PictureRect FitPictureRect(int w, int h, int iw, int ih)
{
    int W = w;
    int H = h;
    if (iw != 0 && ih != 0) {
        if (ih < iw) {
            H = Scale(ih, W, iw);
            while (H > h) {
                W -= 4;
                H = Scale(ih, W, iw);
                if (H <= 0) {
                    break;
                }
            }
        } else {
            W = Scale(iw, H, ih);
            while (W > w) {
                H -= 4;
                W = Scale(iw, H, ih);
                if (W <= 0) {
                    break;
                }
            }
        }
    }
    return PictureRect{w / 2 - W / 2, h / 2 - H / 2, w / 2 + W / 2, h / 2 + H / 2};
}

} // namespace quaylet
