#include "pictures.h"

#include "skin/skintables.h"

#include <array>

namespace quaylet::skingen {

std::span<const int> PictureIds()
{
    static constexpr std::array<int, 5> kIds{186, 188, 225, 190, 192};
    return kIds;
}

QImage PaintPicture(int pictureId, int scale)
{
    for (const SkinTable* table : AllSkinTables()) {
        if (table->skinId != pictureId) {
            continue;
        }
        QImage image(table->width * scale, table->height * scale, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.scale(scale, scale);
        switch (pictureId) {
        case 186:
            PaintMainWindow(p);
            break;
        case 188:
            PaintSignIn(p, false);
            break;
        case 225:
            PaintSignIn(p, true);
            break;
        case 190:
            PaintAbout(p);
            break;
        case 192:
            PaintUploadCompleted(p);
            break;
        default:
            break;
        }
        return image;
    }
    return {};
}

} // namespace quaylet::skingen
