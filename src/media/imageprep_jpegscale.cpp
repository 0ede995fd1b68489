#include "media/imageprep_jpegscale.h"

#include "media/imageprep_jpegerror.h"
#include "media/imageprep_resample.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>

// libjpeg reports fatal errors by jumping back with longjmp: every object with
// a destructor lives in DecodeJpegScaled's frame from before the setjmp, and
// the work after it runs in a function of its own, so no destructor is skipped
// and nothing it changed is read from a register after the jump.

namespace quaylet::imageprep {

namespace {

struct Decoding {
    jpeg_decompress_struct decoder{};
    JpegErrorManager errors;
    bool made = false;
    std::unique_ptr<RowResampler> resampler; // unless the DCT scale gives the target itself
    QImage direct;                           // the result when it does
    std::vector<std::uint8_t> rows;          // what one call of the decoder gives
    ~Decoding()
    {
        if (made)
            jpeg_destroy_decompress(&decoder);
    }
};

// Starts the decoder on `jpeg` as far as its header.
void readHeader(Decoding& work, const Bytes& jpeg)
{
    jpeg_decompress_struct& d = work.decoder;
    d.err = UseJpegErrors(work.errors);
    jpeg_create_decompress(&d);
    work.made = true;
    d.progress = StopWhenAsked(work.errors);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
}

bool isCmyk(const jpeg_decompress_struct& d)
{
    return d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
}

// Decodes at the largest DCT scale that keeps at least `atLeast`, into
// `target` (empty: the scale's own size, without resampling).
[[gnu::noinline]] bool decode(Decoding& work, const Bytes& jpeg, ImageSize target, ImageSize atLeast,
                              std::string& error)
{
    jpeg_decompress_struct& d = work.decoder;
    readHeader(work, jpeg);
    if (isCmyk(d)) {
        error = "CMYK is not decoded here";
        return false;
    }
    const ImageSize size{static_cast<int>(d.image_width), static_cast<int>(d.image_height)};
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned int>(JpegScaleDenominator(size, atLeast));
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    d.out_color_space = JCS_EXT_BGRA; // Format_RGB32; the decoder sets the fourth byte to 0xff
#else
    d.out_color_space = JCS_EXT_ARGB;
#endif
    jpeg_start_decompress(&d);
    const int width = static_cast<int>(d.output_width);
    const int height = static_cast<int>(d.output_height);
    if (target.width <= 0 || target.height <= 0)
        target = {width, height};
    if (width == target.width && height == target.height) {
        work.direct = QImage(width, height, QImage::Format_RGB32);
        if (work.direct.isNull()) {
            error = "out of memory";
            return false;
        }
    } else {
        work.resampler = std::make_unique<RowResampler>(width, height, target.width, target.height);
        if (!work.resampler->valid()) {
            error = "out of memory";
            return false;
        }
    }

    // libjpeg gives at most rec_outbuf_height rows a call, never more than 4.
    constexpr int kMaxBatch = 4;
    const int batch = std::clamp(d.rec_outbuf_height, 1, kMaxBatch);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (work.resampler)
        work.rows.resize(rowBytes * static_cast<std::size_t>(batch));
    JSAMPROW pointers[kMaxBatch] = {};
    while (d.output_scanline < d.output_height) {
        const int first = static_cast<int>(d.output_scanline);
        const int count = std::min(batch, height - first);
        for (int i = 0; i < count; ++i)
            pointers[i] = work.resampler ? work.rows.data() + static_cast<std::size_t>(i) * rowBytes
                                         : work.direct.scanLine(first + i);
        const auto got = static_cast<int>(jpeg_read_scanlines(&d, pointers, static_cast<JDIMENSION>(count)));
        if (got == 0)
            break; // a source in memory never suspends: only a damaged stream ends here
        if (work.resampler)
            for (int i = 0; i < got; ++i)
                work.resampler->addRow(pointers[i]);
    }
    if (d.output_scanline < d.output_height || work.errors.prematureEnd) {
        error = "cannot decode: data ends early";
        return false;
    }
    jpeg_finish_decompress(&d);
    if (work.errors.prematureEnd) {
        error = "cannot decode: data ends early";
        return false;
    }
    return true;
}

[[gnu::noinline]] void readFrame(Decoding& work, const Bytes& jpeg, JpegHeader& header)
{
    readHeader(work, jpeg);
    const jpeg_decompress_struct& d = work.decoder;
    header.size = {static_cast<int>(d.image_width), static_cast<int>(d.image_height)};
    header.cmyk = isCmyk(d);
}

QImage decodeInto(const Bytes& jpeg, ImageSize target, ImageSize atLeast, std::string& error)
{
    Decoding work;
    std::jmp_buf jump;
    work.errors.jump = &jump;
    if (setjmp(jump) != 0) {
        error = std::string("cannot decode: ") + work.errors.message;
        return {};
    }
    try {
        if (!decode(work, jpeg, target, atLeast, error))
            return {};
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return {};
    }
    if (!work.direct.isNull())
        return std::move(work.direct);
    QImage result = work.resampler->takeResult();
    if (result.isNull())
        error = "out of memory";
    return result;
}

} // namespace

bool ReadJpegHeader(const Bytes& jpeg, JpegHeader& header, std::string& error)
{
    Decoding work;
    std::jmp_buf jump;
    work.errors.jump = &jump;
    if (setjmp(jump) != 0) {
        error = std::string("not a readable JPEG: ") + work.errors.message;
        return false;
    }
    try {
        readFrame(work, jpeg, header);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
    return true;
}

QImage DecodeJpeg(const Bytes& jpeg, ImageSize atLeast, std::string& error)
{
    return decodeInto(jpeg, {}, atLeast, error);
}

QImage DecodeJpegScaled(const Bytes& jpeg, ImageSize target, std::string& error)
{
    if (target.width < 1 || target.height < 1) {
        error = "empty target size";
        return {};
    }
    return decodeInto(jpeg, target, {2 * target.width, 2 * target.height}, error);
}

} // namespace quaylet::imageprep
