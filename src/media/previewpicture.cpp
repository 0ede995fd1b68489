#include "media/previewpicture.h"

#include "core/logfile.h"
#include "media/imageprep.h"
#include "media/imageprep_codec.h"

namespace quaylet {

QImage DecodePreviewPicture(const std::string& path, int boxWidth, int boxHeight)
{
    if (boxWidth <= 0 || boxHeight <= 0)
        return {};
    imageprep::SourceImage source;
    std::string error;
    if (!imageprep::OpenSourceImage(path, source, error)) {
        WriteLog(LogTrace, "DecodePreviewPicture: %s: %s", path.c_str(), error.c_str());
        return {};
    }
    const ImageSize target = UploadTargetSize(source.size, boxWidth, boxHeight);
    const bool fits = target.width >= source.size.width && target.height >= source.size.height;
    QImage picture = fits ? imageprep::DecodeImage(source, {}, error) : imageprep::DecodeImageScaled(source, target, error);
    if (picture.isNull())
        WriteLog(LogTrace, "DecodePreviewPicture: %s: %s", path.c_str(), error.c_str());
    return picture;
}

} // namespace quaylet
