#include "media/imageprep_codec.h"

#include "media/imageprep_jpegscale.h"
#include "media/imageprep_resample.h"
#include "media/jpegframe.h"
#include "platform/uniquefd.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTransform>
#include <QtEndian>

#include <turbojpeg.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quaylet::imageprep {

namespace {

using platform::UniqueFd;

struct TjHandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleCloser>;

struct TjBufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferFree>;

// Qt's limit is in MiB of decoded image; 8 bytes per pixel covers 16-bit formats.
constexpr int kReaderAllocationLimitMiB = static_cast<int>((kMaxImagePixels * 8) >> 20);

std::string tjError(void* handle)
{
    return tjGetErrorStr2(handle);
}

// libjpeg-turbo completes a damaged JPEG with grey and reports a warning. Data
// that ends early is refused; milder warnings (stray bytes between markers,
// which some cameras write) leave a complete picture and are accepted.
bool acceptableWarning(void* handle)
{
    if (tjGetErrorCode(handle) != TJERR_WARNING)
        return false;
    const std::string message = tjError(handle);
    return message.find("remature end") == std::string::npos;
}

UniqueFd openForReading(const std::string& path, std::string& error)
{
    // O_NONBLOCK keeps a FIFO with a photo's name from blocking the open.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return {};
    }
    return fd;
}

bool readAll(int fd, Bytes& bytes, std::string& error)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::string("cannot inspect: ") + std::strerror(errno);
        return false;
    }
    if (st.st_size > kMaxImageFileBytes) {
        error = "file larger than the limit";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0)
            break; // the file shrank meanwhile: decode what is there
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return true;
}

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
    UniqueFd fd = openForReading(path, error);
    if (!fd.valid())
        return false;

    unsigned char magic[3] = {};
    const bool jpeg = ::pread(fd.get(), magic, sizeof magic, 0) == static_cast<ssize_t>(sizeof magic)
                      && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF;
    if (jpeg) {
        if (!readAll(fd.get(), source.bytes, error))
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
        UniqueFd fd = openForReading(source.path, error);
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

bool TransformJpegLosslessly(const Bytes& jpeg, int orientation, Bytes& out, std::string& error)
{
    static constexpr int kOperations[] = {TJXOP_NONE,      TJXOP_NONE,  TJXOP_HFLIP,
                                          TJXOP_ROT180,    TJXOP_VFLIP, TJXOP_TRANSPOSE,
                                          TJXOP_ROT90,     TJXOP_TRANSVERSE, TJXOP_ROT270};
    if (orientation < 2 || orientation > 8) {
        error = "no transformation for this orientation";
        return false;
    }
    TjHandle handle(tjInitTransform());
    if (!handle) {
        error = "no JPEG transformer";
        return false;
    }
    tjtransform transform{};
    transform.op = kOperations[orientation];
    transform.options = TJXOPT_PERFECT;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int result = tjTransform(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), 1,
                                   &buffer, &size, &transform, 0);
    TjBuffer owned(buffer);
    if ((result != 0 && !acceptableWarning(handle.get())) || !owned || size == 0) {
        error = "lossless turn refused: " + tjError(handle.get());
        return false;
    }
    out.assign(owned.get(), owned.get() + size);
    return true;
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

OutputFile::OutputFile(std::string path) : m_path(std::move(path)) {}

OutputFile::~OutputFile()
{
    if (m_fd >= 0) { // opened but never finished
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

bool OutputFile::open(std::string& error)
{
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        error = "cannot create " + m_path + ": " + std::strerror(errno);
        m_fd = -1;
        return false;
    }
    return true;
}

bool OutputFile::write(const unsigned char* data, std::size_t size, std::string& error)
{
    if (m_fd < 0) {
        error = "cannot write " + m_path + ": not open";
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write " + m_path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            m_writeFailed = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::finish(std::string& error)
{
    if (m_fd < 0) {
        error = "cannot write " + m_path + ": not open";
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        ::unlink(m_path.c_str());
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes, std::string& error)
{
    OutputFile file(path);
    return file.open(error) && file.write(bytes.data(), bytes.size(), error) && file.finish(error);
}

bool ReadWholeFile(const std::string& path, Bytes& bytes, std::string& error)
{
    UniqueFd fd = openForReading(path, error);
    return fd.valid() && readAll(fd.get(), bytes, error);
}

} // namespace quaylet::imageprep
