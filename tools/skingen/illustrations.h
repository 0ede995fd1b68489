#pragma once

// The three things a user drops, drawn around a centre point at about 100 x 80
// pixels (scale the painter for other sizes): a print, an open album and a
// film strip. The main window invites with them; the upload-completed dialog
// shows them as delivered.

#include <QPainter>
#include <QPointF>

namespace quaylet::skingen {

void DrawPhoto(QPainter& p, QPointF centre);
void DrawAlbum(QPainter& p, QPointF centre);
void DrawFilmStrip(QPainter& p, QPointF centre);

} // namespace quaylet::skingen
