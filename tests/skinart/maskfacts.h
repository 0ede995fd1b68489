#pragma once

// What a mask says, read straight from its pixels: for every colour, how many
// pixels carry it and their bounding box. Independent of how the masks are drawn.

#include <QImage>
#include <QString>

#include <map>
#include <ostream>
#include <set>
#include <utility>

namespace quaylet::test {

// Right and bottom exclusive, as the skin engine reports element boxes.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

struct ColourFacts {
    int pixels = 0;
    Box box;
};

// Colours as opaque RGB, as qRgb() makes them.
std::map<QRgb, ColourFacts> SurveyColours(const QImage& image);

std::set<std::pair<int, int>> PixelsOf(const QImage& image, QRgb colour);

// A skin resource (":/skins/<id>.png") as a 32-bit RGB image; null when missing.
QImage LoadSkinResource(int id, const QString& suffix = QString());

std::string RgbText(QRgb colour);

} // namespace quaylet::test
