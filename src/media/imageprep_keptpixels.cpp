#include "media/imageprep_keptpixels.h"

#include "media/imageprep_codec.h"
#include "media/imageprep_orientation.h"
#include "platform/filestamp.h"

#include <mutex>
#include <optional>
#include <utility>

namespace quaylet::imageprep {

namespace {

struct UprightPixels {
    std::string path;
    platform::FileStamp stamp;
    ImageSize fullSize; // the copy's size
    QImage unturned;    // the source scaled to the box, not yet turned
    int orientation = 1;
};

std::mutex g_mutex;
std::optional<UprightPixels> g_kept; // guarded by g_mutex

std::optional<UprightPixels> takeKept()
{
    std::lock_guard lock(g_mutex);
    std::optional<UprightPixels> taken;
    taken.swap(g_kept);
    return taken;
}

} // namespace

void KeepUprightPixels(const std::string& copyPath, ImageSize copySize, QImage unturned, int orientation)
{
    const std::optional<platform::FileStamp> stamp = platform::StampOf(copyPath);
    std::lock_guard lock(g_mutex);
    if (stamp)
        g_kept = UprightPixels{copyPath, *stamp, copySize, std::move(unturned), orientation};
    else
        g_kept.reset();
}

void DropUprightPixels()
{
    takeKept();
}

QImage TakeUprightPixels(const std::string& path, int boxWidth, int boxHeight)
{
    const std::optional<UprightPixels> kept = takeKept();
    if (!kept || kept->path != path || platform::StampOf(path) != kept->stamp)
        return {};
    const ImageSize target = UploadTargetSize(kept->fullSize, boxWidth, boxHeight);
    const QImage& pixels = kept->unturned;
    const ImageSize turned = IsTransposing(kept->orientation) ? ImageSize{pixels.height(), pixels.width()}
                                                              : ImageSize{pixels.width(), pixels.height()};
    if (turned != target)
        return {};
    return TurnUpright(pixels, kept->orientation);
}

} // namespace quaylet::imageprep
