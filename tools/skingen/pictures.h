#pragma once

// The skin pictures. Each is drawn in its designed pixels; at scale 2 the same
// drawing gives the sharp picture for screens with a device pixel ratio of 2.

#include <QImage>
#include <QPainter>

#include <span>

namespace quaylet::skingen {

// 186, 188, 225, 190, 192.
std::span<const int> PictureIds();

// The picture as a 24-bit image of scale times its designed size; a null image
// for an unknown id.
QImage PaintPicture(int pictureId, int scale);

// The dialogs' drawings, in designed pixels.
void PaintMainWindow(QPainter& p);
void PaintSignIn(QPainter& p, bool signedIn);
void PaintAbout(QPainter& p);
void PaintUploadCompleted(QPainter& p);

} // namespace quaylet::skingen
