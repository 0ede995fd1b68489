#include "media/imageprep_codec.h"

#include "media/imageprep_jpegscale.h"
#include "media/imageprep_resample.h"
#include "media/jpegframe.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include <unistd.h>
#include <utility>

namespace quaylet::imageprep {

namespace {

// Qt's limit is in MiB of decoded image; 8 bytes per pixel covers 16-bit formats.
constexpr int kReaderAllocationLimitMiB = static_cast<int>((kMaxImagePixels * 8) >> 20);

bool withinPixelLimit(int width, int height)
{
    return width > 0 && height > 0
        && static_cast<int64_t>(width) * static_cast<int64_t>(height) <= kMaxImagePixels;
}

void prepareReader(QImageReader& reader)
{
    reader.setAutoTransform(false); // orientation is applied only by the upright copy
    reader.setAllocationLimit(kReaderAllocationLimitMiB);
}

QImage toOpaqueRgb32(QImage image)
{
    if (image.hasAlphaChannel()) {
        QImage opaque(image.size(), QImage::Format_RGB32);
        if (opaque.isNull())
            return {};
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
        painter.end();
        return opaque;
    }
    if (image.format() != QImage::Format_RGB32)
        return image.convertToFormat(QImage::Format_RGB32);
    return image;
}

QImage readWithQt(QIODevice& device, const char* format, std::string& error)
{
    QImageReader reader(&device, format);
    prepareReader(reader);
    const QSize size = reader.size();
    if (size.isValid() && !withinPixelLimit(size.width(), size.height())) {
        error = "image larger than the pixel limit";
        return {};
    }
    QImage image = reader.read();
    if (image.isNull()) {
        error = "cannot decode: " + reader.errorString().toStdString();
        return {};
    }
    return image;
}

} // namespace

int JpegScaleDenominator(ImageSize size, ImageSize atLeast)
{
    if (atLeast.width <= 0 || atLeast.height <= 0)
        return 1;
    // libjpeg's scaled size: the side divided by d, rounded up.
    const auto scaled = [](int side, int d) { return (side + d - 1) / d; };
    for (int d : {8, 4, 2}) {
        if (scaled(size.width, d) >= atLeast.width && scaled(size.height, d) >= atLeast.height)
            return d;
    }
    return 1;
}

bool OpenSourceImage(const std::string& path, SourceImage& source, std::string& error)
{
    source = SourceImage{};
    source.path = path;
    platform::UniqueFd fd = OpenSourceFile(path, error);
    if (!fd.valid())
        return false;

    unsigned char magic[3] = {};
    const bool jpeg = ::pread(fd.get(), magic, sizeof magic, 0) == static_cast<ssize_t>(sizeof magic)
                      && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF;
    if (jpeg) {
        if (!ReadOpenFile(fd.get(), source.bytes, error))
            return false;
        // The decoder's own reading of the frame: every layout it decodes is
        // turned and scaled.
        JpegHeader header;
        if (!ReadJpegHeader(source.bytes, header, error))
            return false;
        const int width = header.size.width;
        const int height = header.size.height;
        if (!withinPixelLimit(width, height)) {
            error = "image size " + std::to_string(width) + " x " + std::to_string(height)
                    + " outside the limits";
            return false;
        }
        // The decoder would set aside memory for every claimed block before
        // finding that the data ends early.
        const auto frame = ReadJpegFrame(source.bytes);
        if (frame && static_cast<int64_t>(source.bytes.size()) < MinimumJpegBytes(*frame)) {
            error = "JPEG data too short for " + std::to_string(width) + " x " + std::to_string(height);
            return false;
        }
        source.jpeg = true;
        source.cmyk = header.cmyk;
        source.size = {width, height};
        return true;
    }

    QFile file;
    if (!file.open(fd.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = "cannot open";
        return false;
    }
    QImageReader reader(&file);
    prepareReader(reader);
    if (!reader.canRead()) {
        error = "not an image";
        return false;
    }
    const QSize size = reader.size();
    if (!size.isValid() || !withinPixelLimit(size.width(), size.height())) {
        error = "image size " + std::to_string(size.width()) + " x " + std::to_string(size.height())
                + " unknown or outside the limits";
        return false;
    }
    source.size = {size.width(), size.height()};
    return true;
}

QImage DecodeImage(const SourceImage& source, ImageSize atLeast, std::string& error)
{
    QImage image;
    if (source.jpeg && !source.cmyk) {
        image = DecodeJpeg(source.bytes, atLeast, error);
    } else if (source.jpeg) {
        // libjpeg-turbo does not turn CMYK into RGB; Qt's reader does.
        const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(source.bytes.data()),
                                                        static_cast<qsizetype>(source.bytes.size()));
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        image = readWithQt(buffer, "jpeg", error);
    } else {
        platform::UniqueFd fd = OpenSourceFile(source.path, error);
        if (!fd.valid())
            return {};
        QFile file;
        if (!file.open(fd.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            error = "cannot open";
            return {};
        }
        image = readWithQt(file, nullptr, error);
    }
    if (image.isNull())
        return {};
    image = toOpaqueRgb32(std::move(image));
    if (image.isNull())
        error = "out of memory";
    return image;
}

QImage DecodeImageScaled(const SourceImage& source, ImageSize target, std::string& error)
{
    if (source.jpeg && !source.cmyk)
        return DecodeJpegScaled(source.bytes, target, error);
    QImage image = DecodeImage(source, {2 * target.width, 2 * target.height}, error);
    if (image.isNull() || (image.width() == target.width && image.height() == target.height))
        return image;
    image = ResampleImage(image, target.width, target.height);
    if (image.isNull())
        error = "out of memory";
    return image;
}

QImage TurnUpright(const QImage& image, int orientation)
{
    const QTransform quarter = QTransform().rotate(90);
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.transformed(quarter).mirrored(true, false);
    case 6:
        return image.transformed(quarter);
    case 7:
        return image.transformed(quarter).mirrored(false, true);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

} // namespace quaylet::imageprep
