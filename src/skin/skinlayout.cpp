#include "skin/skinlayout.h"

#include <algorithm>
#include <unordered_map>

namespace quaylet {

namespace {

// The runs [left, right) of one row that the window keeps.
using RowRuns = std::vector<std::pair<int, int>>;

// Grows a box pixel by pixel; kept as inclusive edges until the end.
struct BoxBuilder {
    bool any = false;
    int left = 0, top = 0, right = 0, bottom = 0;

    void add(int x, int y)
    {
        if (!any) {
            any = true;
            left = right = x;
            top = bottom = y;
            return;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
};

// Rows with the same runs are joined into one band, which is the form
// QRegion::setRects expects (Y-X sorted, equal heights per band, no two
// rectangles touching side by side).
QRegion RegionFromRows(const std::vector<RowRuns>& rows)
{
    std::vector<QRect> rects;
    std::size_t y = 0;
    while (y < rows.size()) {
        std::size_t end = y + 1;
        while (end < rows.size() && rows[end] == rows[y])
            ++end;
        const int height = static_cast<int>(end - y);
        for (const auto& [left, right] : rows[y])
            rects.emplace_back(left, static_cast<int>(y), right - left, height);
        y = end;
    }
    QRegion region;
    if (!rects.empty())
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace

std::optional<SkinLayout> BuildSkinLayout(const QImage& mask, QRgb transparent,
                                          const std::vector<QRgb>& elementColours)
{
    if (mask.isNull())
        return std::nullopt;
    // 32-bit RGB keeps every colour of a lossless mask exactly.
    const QImage pixels = mask.convertToFormat(QImage::Format_RGB32);
    if (pixels.isNull())
        return std::nullopt;

    SkinLayout layout;
    layout.width = MaskWidthUsed(pixels.width());
    layout.height = pixels.height();

    // The first element of a colour takes all its pixels.
    std::unordered_map<QRgb, std::size_t> owner;
    for (std::size_t i = 0; i < elementColours.size(); ++i)
        owner.try_emplace(MaskRgb(elementColours[i]), i);
    std::vector<BoxBuilder> builders(elementColours.size());

    const QRgb cut = MaskRgb(transparent);
    std::vector<RowRuns> rows(static_cast<std::size_t>(layout.height));
    for (int y = 0; y < layout.height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        RowRuns& runs = rows[static_cast<std::size_t>(y)];
        int runStart = -1;
        for (int x = 0; x < layout.width; ++x) {
            const QRgb colour = MaskRgb(line[x]);
            if (colour == cut) {
                if (runStart >= 0)
                    runs.emplace_back(runStart, x);
                runStart = -1;
                continue;
            }
            if (runStart < 0)
                runStart = x;
            if (const auto found = owner.find(colour); found != owner.end())
                builders[found->second].add(x, y);
        }
        if (runStart >= 0)
            runs.emplace_back(runStart, layout.width);
    }

    layout.window = RegionFromRows(rows);
    layout.boxes.reserve(builders.size());
    for (const BoxBuilder& b : builders) {
        if (b.any)
            layout.boxes.emplace_back(QRect(QPoint(b.left, b.top), QPoint(b.right, b.bottom)));
        else
            layout.boxes.emplace_back(std::nullopt);
    }
    return layout;
}

} // namespace quaylet
