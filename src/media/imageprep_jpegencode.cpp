#include "media/imageprep_jpegencode.h"

#include "media/imageprep_jpegerror.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace quaylet::imageprep {

namespace {

// Format_RGB32 is 0xffRRGGBB in native byte order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kInputColourSpace = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE kInputColourSpace = JCS_EXT_XRGB;
#endif

constexpr int kRowsPerCall = 16; // one iMCU row at 4:2:0

// Writes the encoded bytes straight into a vector. libjpeg's own
// memory destination frees its buffer as it grows it and tells the new one
// only at the end, so a stop or an error in between left no sound pointer to
// free; a vector owns its bytes on every way out.
struct VectorDestination {
    jpeg_destination_mgr pub{}; // first: libjpeg hands back a pointer to it
    Bytes* out = nullptr;

    static VectorDestination& of(j_compress_ptr c) { return *reinterpret_cast<VectorDestination*>(c->dest); }

    static void init(j_compress_ptr c)
    {
        VectorDestination& d = of(c);
        d.out->resize(std::max<std::size_t>(d.out->capacity(), 64 * 1024));
        d.pub.next_output_byte = d.out->data();
        d.pub.free_in_buffer = d.out->size();
    }

    static boolean grow(j_compress_ptr c)
    {
        // Called with the whole buffer full, whatever free_in_buffer says.
        VectorDestination& d = of(c);
        const std::size_t used = d.out->size();
        d.out->resize(used * 2);
        d.pub.next_output_byte = d.out->data() + used;
        d.pub.free_in_buffer = d.out->size() - used;
        return TRUE;
    }

    static void term(j_compress_ptr c)
    {
        VectorDestination& d = of(c);
        d.out->resize(d.out->size() - d.pub.free_in_buffer);
    }

    explicit VectorDestination(Bytes& bytes) : out(&bytes)
    {
        pub.init_destination = &init;
        pub.empty_output_buffer = &grow;
        pub.term_destination = &term;
    }
};

// Owns the compress object on every way out of EncodeJpeg, including a jump
// from an error or a stop.
struct Compression {
    jpeg_compress_struct object{}; // destroying a zeroed, never created object does nothing
    JpegErrorManager errors;

    Compression() = default;
    Q_DISABLE_COPY_MOVE(Compression)
    ~Compression() { jpeg_destroy_compress(&object); }
};

} // namespace

bool EncodeJpeg(const QImage& image, const JpegEncoding& encoding, Bytes& out, std::string& error)
{
    if (image.format() != QImage::Format_RGB32 || image.isNull()) {
        error = "nothing to encode";
        return false;
    }
    Compression compression;
    Bytes encoded;
    VectorDestination destination(encoded);
    jpeg_compress_struct& c = compression.object;
    std::jmp_buf jump;
    compression.errors.jump = &jump;
    if (setjmp(jump) != 0) {
        error = std::string("cannot encode: ") + compression.errors.message;
        return false;
    }
    c.err = UseJpegErrors(compression.errors);
    jpeg_create_compress(&c);
    c.progress = StopWhenAsked(compression.errors);
    c.dest = &destination.pub;
    c.image_width = static_cast<JDIMENSION>(image.width());
    c.image_height = static_cast<JDIMENSION>(image.height());
    c.input_components = 4;
    c.in_color_space = kInputColourSpace;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, encoding.quality, TRUE);
    c.dct_method = JDCT_ISLOW; // the fast transform loses detail at the qualities used here
    // Set both ways: the library's defaults for the colour space are not ours to rely on.
    const int luma = encoding.subsampledChroma ? 2 : 1;
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = luma;
    for (int i = 1; i < 3; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    c.optimize_coding = encoding.optimisedTables || encoding.progressive ? TRUE : FALSE;
    if (encoding.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    JSAMPROW rows[kRowsPerCall];
    while (c.next_scanline < c.image_height) {
        const int first = static_cast<int>(c.next_scanline);
        const int count = std::min(kRowsPerCall, image.height() - first);
        for (int i = 0; i < count; ++i) // libjpeg reads the rows and never writes them
            rows[i] = const_cast<JSAMPROW>(image.constScanLine(first + i));
        jpeg_write_scanlines(&c, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&c);
    out = std::move(encoded);
    return true;
}

} // namespace quaylet::imageprep
