#include "maskfacts.h"

#include <algorithm>

namespace quaylet::test {

std::map<QRgb, ColourFacts> SurveyColours(const QImage& image)
{
    std::map<QRgb, ColourFacts> facts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = image.pixel(x, y) | 0xff000000u;
            auto [it, fresh] = facts.try_emplace(colour, ColourFacts{0, {x, y, x + 1, y + 1}});
            ColourFacts& f = it->second;
            ++f.pixels;
            if (!fresh) {
                f.box = {std::min(f.box.left, x), std::min(f.box.top, y), std::max(f.box.right, x + 1),
                         std::max(f.box.bottom, y + 1)};
            }
        }
    }
    return facts;
}

std::set<std::pair<int, int>> PixelsOf(const QImage& image, QRgb colour)
{
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) | 0xff000000u) == (colour | 0xff000000u)) {
                pixels.emplace(x, y);
            }
        }
    }
    return pixels;
}

QImage LoadSkinResource(int id, const QString& suffix)
{
    const QImage image(QStringLiteral(":/skins/%1%2.png").arg(id).arg(suffix));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

std::string RgbText(QRgb colour)
{
    return "RGB(" + std::to_string(qRed(colour)) + "," + std::to_string(qGreen(colour)) + "," +
           std::to_string(qBlue(colour)) + ")";
}

} // namespace quaylet::test
