#pragma once

// Where a picture is drawn inside a picture control: scaled to fill the box
// in one direction, centred, in integer steps so that a preview lands on the
// same pixels every time.

namespace quaylet {

// Right and bottom are exclusive.
struct PictureRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

// The box is w x h, the image iw x ih. An image with no size fills the box.
// The free side shrinks in steps of 4 pixels until the picture fits, so the
// result can be a few pixels smaller than the exact fit; small images are
// scaled up.
PictureRect FitPictureRect(int w, int h, int iw, int ih);

} // namespace quaylet
