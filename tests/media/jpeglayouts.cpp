#include "jpeglayouts.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace quaylet::test {

namespace {

struct Failure {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void fail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Failure*>(cinfo->err)->jump, 1);
}

struct Encoder {
    jpeg_compress_struct c{};
    Failure failure{};
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<unsigned char> row;
    ~Encoder()
    {
        jpeg_destroy_compress(&c);
        std::free(out);
    }
};

// The row as the layout's input colour space wants it.
const unsigned char* inputRow(const QImage& picture, int y, const JpegTestLayout& layout,
                              std::vector<unsigned char>& row)
{
    const auto* pixels = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    const int width = picture.width();
    row.resize(static_cast<std::size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
        const QRgb p = pixels[x];
        unsigned char* out = row.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(layout.components);
        if (layout.components == 1) {
            out[0] = static_cast<unsigned char>(qGray(p));
        } else if (layout.components == 3) {
            out[0] = static_cast<unsigned char>(qRed(p));
            out[1] = static_cast<unsigned char>(qGreen(p));
            out[2] = static_cast<unsigned char>(qBlue(p));
        } else { // inverted CMYK without black: the stored values are the colours
            out[0] = static_cast<unsigned char>(qRed(p));
            out[1] = static_cast<unsigned char>(qGreen(p));
            out[2] = static_cast<unsigned char>(qBlue(p));
            out[3] = 255;
        }
    }
    return row.data();
}

[[gnu::noinline]] void encode(Encoder& e, const QImage& picture, const JpegTestLayout& layout, int quality)
{
    jpeg_compress_struct& c = e.c;
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &e.out, &e.size);
    c.image_width = static_cast<JDIMENSION>(picture.width());
    c.image_height = static_cast<JDIMENSION>(picture.height());
    c.input_components = layout.components;
    c.in_color_space = layout.components == 1 ? JCS_GRAYSCALE : layout.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    for (int i = 0; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    c.comp_info[0].h_samp_factor = layout.lumaH;
    c.comp_info[0].v_samp_factor = layout.lumaV;
    c.restart_in_rows = layout.restartRows;
    c.arith_code = layout.arithmetic ? TRUE : FALSE;
    if (layout.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto* row = const_cast<JSAMPROW>(inputRow(picture, static_cast<int>(c.next_scanline), layout, e.row));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
}

} // namespace

std::vector<JpegTestLayout> EveryJpegLayout()
{
    return {
        {"4:2:0", 3, 2, 2},
        {"4:2:2", 3, 2, 1},
        {"4:4:0", 3, 1, 2},
        {"4:1:1", 3, 4, 1},
        {"3x1", 3, 3, 1},
        {"1x4", 3, 1, 4},
        {"grey", 1},
        {"CMYK", 4},
        {"4:2:0 restarts", 3, 2, 2, 1},
        {"4:4:4 restarts", 3, 1, 1, 2},
        {"progressive 4:2:0", 3, 2, 2, 0, true},
        {"arithmetic 4:2:2", 3, 2, 1, 0, false, true},
        {"progressive arithmetic 4:2:0", 3, 2, 2, 1, true, true},
    };
}

std::string EncodeJpegLayout(const QImage& picture, const JpegTestLayout& layout, int quality)
{
    Encoder e;
    e.c.err = jpeg_std_error(&e.failure.pub);
    e.failure.pub.error_exit = fail;
    if (setjmp(e.failure.jump) != 0)
        return {};
    encode(e, picture, layout, quality);
    return std::string(reinterpret_cast<const char*>(e.out), e.size);
}

} // namespace quaylet::test
