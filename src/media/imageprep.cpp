#include "media/imageprep.h"

#include "core/logfile.h"
#include "media/imageprep_codec.h"
#include "media/imageprep_exif.h"
#include "media/imageprep_jpegencode.h"
#include "media/imageprep_jpegturn.h"
#include "media/imageprep_keptpixels.h"
#include "media/imageprep_orientation.h"
#include "media/imageprep_perfectturn.h"
#include "media/imageprep_uprightmarkers.h"
#include "platform/tempdir.h"
#include "platform/workstop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <future>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quaylet {

using imageprep::Bytes;

namespace {

constexpr const char* kCleanCopyName = "temp_clean.image";
constexpr const char* kScaledCopyName = "temp_thumbnail.image";

// The scaled copy is what crosses the uplink: 4:2:0 and fitted Huffman tables
// take a third off its bytes and leave its luma as it was; progressive coding
// would save 3 % more at several times the decoding time. The clean copy
// keeps every chroma sample and the standard tables: fitted ones save about
// a tenth, but triple the encoding time of a full-size upright copy, which
// never leaves the machine (docs/benchmarks.md, photo-prep).
constexpr imageprep::JpegEncoding kCleanCopyEncoding{kCleanCopyQuality, false, false, false};
constexpr imageprep::JpegEncoding kScaledCopyEncoding{kScaledCopyQuality, true, true, false};

// Numbers the upright copies of this process: TR1.jpeg, TR2.jpeg, ... It
// advances on every RotateToUpright call, whether or not a copy is written.
std::atomic<int32_t> g_rotationCounter{1};

void removeFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        WriteLog(LogMilestone, "MakeUploadImage: cannot remove %s", path.c_str());
}

// The piece [position, position + length) of text read the way atoi reads it;
// a piece beyond the end of the text is empty and reads as 0.
int pieceAsNumber(const std::string& text, std::size_t position, std::size_t length)
{
    if (position >= text.size())
        return 0;
    return std::atoi(text.substr(position, length).c_str());
}

// A photo whose preparation was asked to stop is no failure worth a
// milestone line.
int failureLevel()
{
    return platform::WorkStopRequested() ? LogTrace : LogMilestone;
}

ImageSize transposed(ImageSize size)
{
    return {size.height, size.width};
}

// Writes the upright copy with the source's metadata, its orientation set to
// 1. A JPEG is turned in its coefficients straight into the file (lossless
// for each component whose blocks line up after the turn). The other ways
// make the copy in memory: libjpeg-turbo's own lossless turn for a layout the
// coefficient turn does not handle, else a full decode, the turn and a
// quality-100 encoding.
bool writeUprightCopy(const imageprep::SourceImage& source, int orientation, const std::string& copyPath,
                      std::string& error)
{
    const bool transposing = imageprep::IsTransposing(orientation);
    Bytes copy;
    bool made = false;
    if (source.jpeg) {
        const std::vector<imageprep::MarkerReplacement> replacements = imageprep::UprightMarkerReplacements(source, transposing);
        std::string why;
        bool otherLayout = false;
        imageprep::OutputFile file(copyPath);
        if (!file.open(error))
            return false;
        if (imageprep::TurnJpegToFile(source.bytes, orientation, file, why, &otherLayout, replacements)) {
            if (!file.finish(error))
                return false;
            if (!replacements.empty())
                return true;
            // Without markers the metadata goes into the finished copy.
            if (!imageprep::ReadWholeFile(copyPath, copy, error))
                return false;
            made = true;
        } else {
            // Another way to the copy would meet the same full disk, or the
            // same request to stop.
            if (file.writeFailed() || platform::WorkStopRequested()) {
                error = why;
                return false;
            }
            WriteLog(LogTrace, "RotateToUpright: %s for %s", why.c_str(), source.path.c_str());
            // A turn that libjpeg-turbo cannot make perfect, or damaged data,
            // goes to the decoding below.
            if (otherLayout) {
                made = imageprep::TurnJpegPerfectOnly(source.bytes, orientation, copy, why);
                if (!made)
                    WriteLog(LogTrace, "RotateToUpright: %s for %s", why.c_str(), source.path.c_str());
            }
        }
    }
    if (!made) {
        const QImage decoded = imageprep::DecodeImage(source, {}, error);
        if (decoded.isNull())
            return false;
        const QImage upright = imageprep::TurnUpright(decoded, orientation);
        if (upright.isNull()) {
            error = "out of memory";
            return false;
        }
        if (!imageprep::EncodeJpeg(upright, kCleanCopyEncoding, copy, error))
            return false;
    }
    const imageprep::MetadataSource metadata{source.path, source.jpeg ? &source.bytes : nullptr};
    return imageprep::WriteUprightMetadata(metadata, transposing, copy, error)
        && imageprep::WriteWholeFile(copyPath, copy, error);
}

} // namespace

ImageSize UploadTargetSize(ImageSize source, int boxWidth, int boxHeight)
{
    if (source.width <= 0 || source.height <= 0)
        return {};
    // Single-precision division rounds the exact quotient once, to the nearest float.
    const float ratioWidth = static_cast<float>(boxWidth) / static_cast<float>(source.width);
    const float ratioHeight = static_cast<float>(boxHeight) / static_cast<float>(source.height);
    const float scale = ratioHeight < ratioWidth ? ratioHeight : ratioWidth;
    const double width = std::trunc(static_cast<double>(source.width) * static_cast<double>(scale));
    const double height = std::trunc(static_cast<double>(source.height) * static_cast<double>(scale));
    // A side that truncates to nothing (a long thin strip) keeps one pixel: an
    // empty image cannot be encoded.
    return {std::max(1, static_cast<int>(width)), std::max(1, static_cast<int>(height))};
}

std::string RotateToUpright(const std::string& path, int box)
{
    const int32_t number = g_rotationCounter.fetch_add(1, std::memory_order_relaxed);

    // The tag is read from the file's header; the whole file only when a copy
    // is to be made.
    const std::optional<int> orientation = imageprep::ReadOrientation(imageprep::MetadataSource{path});
    if (!orientation) {
        WriteLog(LogTrace, "No orientation info present for %s", path.c_str());
        return {};
    }
    WriteLog(LogTrace, "orientation for %s is %d", path.c_str(), *orientation);
    // Values outside 2..8 have no transformation: no copy.
    if (*orientation < 2 || *orientation > 8)
        return {};

    const std::string& directory = platform::TempPath();
    if (directory.empty()) {
        WriteLog(LogMilestone, "RotateToUpright: no temporary directory for %s", path.c_str());
        return {};
    }
    const std::string copyPath = directory + "TR" + std::to_string(number) + ".jpeg";

    imageprep::DropUprightPixels(); // an earlier copy's pixels are of no further use

    imageprep::SourceImage source;
    std::string error;
    if (!imageprep::OpenSourceImage(path, source, error)) {
        WriteLog(LogMilestone, "RotateToUpright: no upright copy of %s: %s", path.c_str(), error.c_str());
        return {};
    }
    const bool transposing = imageprep::IsTransposing(*orientation);
    const ImageSize uprightSize = transposing ? transposed(source.size) : source.size;

    // A large JPEG for a known box is scaled on a second thread while its
    // coefficients are turned; the future ends that work on every way out,
    // before `source` goes.
    std::future<QImage> scaling;
    const bool large = source.size.width > kScaleThreshold || source.size.height > kScaleThreshold;
    if (box > 0 && source.jpeg && large) {
        const ImageSize target = UploadTargetSize(uprightSize, box, box);
        const ImageSize unturnedTarget = transposing ? transposed(target) : target;
        try {
            scaling = std::async(std::launch::async, [&source, unturnedTarget, stop = platform::CurrentWorkStop()] {
                const platform::ScopedWorkStop stopWithTheTurn(stop);
                std::string ignored;
                try {
                    return imageprep::DecodeImageScaled(source, unturnedTarget, ignored);
                } catch (const std::exception&) {
                    return QImage(); // the preparation decodes the copy itself
                }
            });
        } catch (const std::system_error&) {
            // No thread to spare: the preparation decodes the copy itself.
        }
    }

    if (!writeUprightCopy(source, *orientation, copyPath, error)) {
        WriteLog(failureLevel(), "RotateToUpright: no upright copy of %s: %s", path.c_str(), error.c_str());
        return {};
    }
    QImage scaled = scaling.valid() ? scaling.get() : QImage();
    if (!scaled.isNull())
        imageprep::KeepUprightPixels(copyPath, uprightSize, std::move(scaled), *orientation);
    return copyPath;
}

std::string MakeUploadImage(const std::string& path, int boxWidth, int boxHeight, const std::string& into)
{
    const std::string& directory = into.empty() ? platform::TempPath() : into;
    if (directory.empty()) {
        WriteLog(LogMilestone, "MakeUploadImage: no temporary directory");
        return {};
    }
    const std::string cleanPath = directory + kCleanCopyName;
    const std::string scaledPath = directory + kScaledCopyName;
    // Neither fixed file may outlive the photo it was made for.
    removeFile(cleanPath);
    removeFile(scaledPath);

    // Pixels scaled for this box while this file was written as an upright
    // copy only need turning; they are kept for large photos alone.
    bool small = false;
    std::string error;
    QImage image = imageprep::TakeUprightPixels(path, boxWidth, boxHeight);
    if (image.isNull()) {
        imageprep::SourceImage source;
        if (!imageprep::OpenSourceImage(path, source, error)) {
            WriteLog(LogMilestone, "MakeUploadImage: cannot prepare %s: %s", path.c_str(), error.c_str());
            return {};
        }
        small = source.size.width <= kScaleThreshold && source.size.height <= kScaleThreshold;
        image = small ? imageprep::DecodeImage(source, {}, error)
                      : imageprep::DecodeImageScaled(source, UploadTargetSize(source.size, boxWidth, boxHeight),
                                                     error);
    }

    const std::string& resultPath = small ? cleanPath : scaledPath;
    Bytes encoded;
    if (image.isNull()
        || !imageprep::EncodeJpeg(image, small ? kCleanCopyEncoding : kScaledCopyEncoding, encoded, error)
        || !imageprep::WriteWholeFile(resultPath, encoded, error)) {
        WriteLog(failureLevel(), "MakeUploadImage: cannot prepare %s: %s", path.c_str(), error.c_str());
        return {};
    }
    return resultPath;
}

std::optional<int64_t> ParseDateTaken(const std::string& text)
{
    const int year = pieceAsNumber(text, 0, 4);
    const int month = pieceAsNumber(text, 5, 2);
    const int day = pieceAsNumber(text, 8, 2);
    const int hour = pieceAsNumber(text, 11, 2);
    const int minute = pieceAsNumber(text, 14, 2);
    const int second = pieceAsNumber(text, 17, 2);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1900 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1; // the system decides daylight saving time
    const std::time_t time = std::mktime(&local);
    if (time == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<int64_t>(time);
}

std::optional<int64_t> GetDateTaken(const std::string& path)
{
    const std::optional<std::string> text = imageprep::ReadDateTakenText(path);
    if (!text)
        return std::nullopt;
    return ParseDateTaken(*text);
}

} // namespace quaylet
