#include "media/imageprep_jpegturn.h"

#include "media/imageprep_jpegerror.h"
#include "media/imageprep_sampleturn.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports fatal errors by jumping back with longjmp. Everything that
// the jump may cross is plain data, and every object with a destructor lives
// in TurnJpeg's frame from before the setjmp, so no destructor is skipped.

namespace quaylet::imageprep {

namespace {

constexpr int kMaxComponents = 4;
constexpr int kMaxSamplingFactor = 4;
constexpr int kBatchRows = 16; // a multiple of every sampling factor but 3

bool isTransposing(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// The coefficients of the turned block, as a table per orientation: target
// coefficient i is source coefficient index[i], negated where negate[i] is
// set. Mirroring a direction negates the odd frequencies along it;
// transposing swaps the two frequency indices.
struct BlockTurn {
    int index[DCTSIZE2];
    int negate[DCTSIZE2];
};

BlockTurn blockTurnFor(int orientation)
{
    BlockTurn turn{};
    for (int k = 0; k < DCTSIZE; ++k) {
        for (int j = 0; j < DCTSIZE; ++j) {
            const int i = k * DCTSIZE + j;
            const bool transposed = orientation >= 5;
            turn.index[i] = transposed ? j * DCTSIZE + k : i;
            switch (orientation) {
            case 2: turn.negate[i] = j & 1; break;
            case 3: case 7: turn.negate[i] = (k + j) & 1; break;
            case 4: case 8: turn.negate[i] = k & 1; break;
            case 6: turn.negate[i] = j & 1; break;
            default: turn.negate[i] = 0; break; // 5
            }
        }
    }
    return turn;
}

inline void turnBlock(const JCOEF* source, JCOEF* target, const BlockTurn& turn)
{
    for (int i = 0; i < DCTSIZE2; ++i) {
        const JCOEF value = source[turn.index[i]];
        target[i] = static_cast<JCOEF>(turn.negate[i] ? -value : value);
    }
}

// One component on its way to the encoder: the source's block rows, and a
// buffer of turned block rows that the encoder asks for an iMCU row at a time;
// or, for a component whose blocks do not line up after the turn, all its
// turned block rows made beforehand from its samples.
struct ComponentFeed {
    int index = 0;
    std::vector<JBLOCKROW> sourceRows; // all rows of the source component
    int sourceWidth = 0;               // meaningful blocks per source row
    int sourceHeight = 0;              // meaningful source rows
    std::vector<JCOEF> batch;         // kBatchRows rows of rowWidth blocks
    std::vector<JBLOCKROW> batchRows; // into batch
    int batchStart = -(1 << 30);      // first turned row held in batch (none yet)
    int rowWidth = 0;                 // blocks per row of batch
    SampleTurnTarget throughSamples;      // coefficients empty: turned block by block
    std::vector<JBLOCKROW> sampleTurnRows; // into throughSamples
};

struct TurnContext {
    int orientation = 1;
    BlockTurn blockTurn{};
    jvirt_barray_ptr sourceArrays[kMaxComponents] = {};
    int sourceArrayCount = 0;
    ComponentFeed feeds[kMaxComponents];
};

// Which source block lands at (row, col) of the turned component, for source
// components of width x height blocks.
inline void sourceBlockOf(int orientation, int row, int col, int width, int height, int& sourceRow,
                          int& sourceCol)
{
    switch (orientation) {
    case 2: sourceRow = row; sourceCol = width - 1 - col; break;
    case 3: sourceRow = height - 1 - row; sourceCol = width - 1 - col; break;
    case 4: sourceRow = height - 1 - row; sourceCol = col; break;
    case 5: sourceRow = col; sourceCol = row; break;
    case 6: sourceRow = height - 1 - col; sourceCol = row; break;
    case 7: sourceRow = height - 1 - col; sourceCol = width - 1 - row; break;
    default: sourceRow = col; sourceCol = width - 1 - row; break; // 8
    }
}

// The encoder's access to its "virtual arrays": each is one of our feeds, and
// the requested block rows are turned out of the source on demand.
JBLOCKARRAY accessTurned(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION rowCount,
                         boolean)
{
    auto* context = static_cast<TurnContext*>(cinfo->client_data);
    auto* feed = reinterpret_cast<ComponentFeed*>(array);
    const jpeg_component_info& component = reinterpret_cast<j_compress_ptr>(cinfo)->comp_info[feed->index];
    const int width = static_cast<int>(component.width_in_blocks);
    const int height = static_cast<int>(component.height_in_blocks);
    const int first = static_cast<int>(startRow);
    const int count = static_cast<int>(rowCount);
    if (!feed->sampleTurnRows.empty()) {
        if (first + count > static_cast<int>(feed->sampleTurnRows.size()))
            ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        return feed->sampleTurnRows.data() + first;
    }
    if (count > kBatchRows || width > feed->rowWidth)
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);

    // Rows are turned a batch at a time. A transposing turn reads the source
    // down its columns; taking a batch of neighbouring columns at once reads
    // each source row in runs of blocks instead of one block per row.
    if (first < feed->batchStart || first + count > feed->batchStart + kBatchRows) {
        feed->batchStart = first;
        const int end = std::min(first + kBatchRows, height);
        auto turnOne = [&](int row, int col) {
            int sourceRow = 0, sourceCol = 0;
            sourceBlockOf(context->orientation, row, col, feed->sourceWidth, feed->sourceHeight, sourceRow,
                          sourceCol);
            if (sourceRow < 0 || sourceCol < 0 || sourceRow >= static_cast<int>(feed->sourceRows.size())
                || sourceCol >= feed->sourceWidth)
                ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
            turnBlock(feed->sourceRows[sourceRow][sourceCol], feed->batchRows[row - first][col],
                      context->blockTurn);
        };
        if (isTransposing(context->orientation)) {
            for (int col = 0; col < width; ++col)
                for (int row = first; row < end; ++row)
                    turnOne(row, col);
        } else {
            for (int row = first; row < end; ++row)
                for (int col = 0; col < width; ++col)
                    turnOne(row, col);
        }
    }
    return feed->batchRows.data() + (first - feed->batchStart);
}

// Which sides of the source the turn reverses: a reversed side's far edge
// becomes the near edge of the copy.
struct ReversedSides {
    bool across = false;
    bool down = false;
};

ReversedSides reversedSides(int orientation)
{
    switch (orientation) {
    case 2: case 8: return {true, false};
    case 4: case 6: return {false, true};
    case 3: case 7: return {true, true};
    default: return {}; // 5
    }
}

// Whether the chroma samples stay centred on the same pixels after the turn:
// a reversed side must hold whole chroma samples, which an odd side of a
// subsampled picture does not.
[[gnu::noinline]] // its locals stay out of TurnJpeg's setjmp frame
bool samplesStayCentred(const jpeg_decompress_struct& info, int orientation)
{
    const ReversedSides reversed = reversedSides(orientation);
    return !(reversed.across && info.image_width % static_cast<JDIMENSION>(info.max_h_samp_factor) != 0)
        && !(reversed.down && info.image_height % static_cast<JDIMENSION>(info.max_v_samp_factor) != 0);
}

// A component's samples that belong to the picture, across and down.
int sampleWidth(const jpeg_decompress_struct& info, int ci)
{
    const auto h = static_cast<long long>(info.comp_info[ci].h_samp_factor);
    return static_cast<int>((info.image_width * h + info.max_h_samp_factor - 1) / info.max_h_samp_factor);
}

int sampleHeight(const jpeg_decompress_struct& info, int ci)
{
    const auto v = static_cast<long long>(info.comp_info[ci].v_samp_factor);
    return static_cast<int>((info.image_height * v + info.max_v_samp_factor - 1) / info.max_v_samp_factor);
}

// Whether a component's blocks line up after the turn: a reversed side must
// end on a block edge, or every turned block would straddle two of the
// source's. Sides that keep their direction may end anywhere.
bool blocksLineUp(const jpeg_decompress_struct& info, int ci, int orientation)
{
    const ReversedSides reversed = reversedSides(orientation);
    return !(reversed.across && sampleWidth(info, ci) % DCTSIZE != 0)
        && !(reversed.down && sampleHeight(info, ci) % DCTSIZE != 0);
}

// A quantisation table of steps of 1 in a slot that no component uses, for
// the components turned through their samples; -1 when every slot is taken.
int addFinestTable(jpeg_compress_struct& c)
{
    bool used[NUM_QUANT_TBLS] = {};
    for (int ci = 0; ci < c.num_components; ++ci)
        used[c.comp_info[ci].quant_tbl_no] = true;
    for (int slot = 0; slot < NUM_QUANT_TBLS; ++slot) {
        if (used[slot])
            continue;
        if (!c.quant_tbl_ptrs[slot])
            c.quant_tbl_ptrs[slot] = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&c));
        std::fill(std::begin(c.quant_tbl_ptrs[slot]->quantval), std::end(c.quant_tbl_ptrs[slot]->quantval),
                  UINT16{1});
        c.quant_tbl_ptrs[slot]->sent_table = FALSE;
        return slot;
    }
    return -1;
}

// Turns the components whose blocks do not line up through their samples,
// before the encoder asks for them. The turned blocks no longer sit on the
// source's quantisation grid, so its steps would add their error a second
// time: they get steps of 1, as a copy made from decoded pixels gets at
// quality 100, in a table of their own so that the components that keep their
// coefficients keep theirs (with no free slot, they share it after all).
[[gnu::noinline]] // its locals stay out of TurnJpeg's setjmp frame
void turnThroughSamples(jpeg_decompress_struct& d, jpeg_compress_struct& c, int orientation,
                        TurnContext& context)
{
    int finest = -2; // not yet added
    for (int ci = 0; ci < c.num_components; ++ci) {
        if (blocksLineUp(d, ci, orientation))
            continue;
        ComponentFeed& feed = context.feeds[ci];
        const jpeg_component_info& from = d.comp_info[ci];
        const JQUANT_TBL* sourceTable =
            from.quant_table ? from.quant_table : d.quant_tbl_ptrs[from.quant_tbl_no];
        if (finest == -2)
            finest = addFinestTable(c);
        if (finest >= 0)
            c.comp_info[ci].quant_tbl_no = finest;
        const JQUANT_TBL* targetTable = c.quant_tbl_ptrs[c.comp_info[ci].quant_tbl_no];
        if (!sourceTable || !targetTable)
            ERREXIT1(&d, JERR_NO_QUANT_TABLE, from.quant_tbl_no);
        const int width = sampleWidth(d, ci), height = sampleHeight(d, ci);
        const int turnedWidth = isTransposing(orientation) ? height : width;
        const int turnedHeight = isTransposing(orientation) ? width : height;
        const int rowsPerIMcu = c.comp_info[ci].v_samp_factor;
        const int turnedRows = (turnedHeight + DCTSIZE - 1) / DCTSIZE;
        SampleTurnTarget& target = feed.throughSamples;
        target.widthInBlocks = (turnedWidth + DCTSIZE - 1) / DCTSIZE;
        target.rowCount = (turnedRows + rowsPerIMcu - 1) / rowsPerIMcu * rowsPerIMcu;
        target.quantisation = targetTable->quantval;
        TurnComponentThroughSamples({&feed.sourceRows, width, height, sourceTable->quantval}, orientation,
                                    target);
        const std::size_t rowCoefficients = static_cast<std::size_t>(target.widthInBlocks) * DCTSIZE2;
        feed.sampleTurnRows.resize(static_cast<std::size_t>(target.rowCount));
        for (int r = 0; r < target.rowCount; ++r)
            feed.sampleTurnRows[r] =
                reinterpret_cast<JBLOCKROW>(target.coefficients.data() + r * rowCoefficients);
    }
}

// The encoder writes the copy straight into the caller's byte vector, which
// grows by half when full: no second copy of the file is made at the end.
struct BytesDestination {
    jpeg_destination_mgr pub; // first: libjpeg hands back a pointer to it
    Bytes* out = nullptr;
};

void startBytes(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<BytesDestination*>(cinfo->dest);
    destination->pub.next_output_byte = destination->out->data();
    destination->pub.free_in_buffer = destination->out->size();
}

boolean growBytes(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<BytesDestination*>(cinfo->dest);
    Bytes& out = *destination->out;
    const std::size_t used = out.size();
    bool grown = true;
    try {
        out.resize(used + used / 2);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    destination->pub.next_output_byte = out.data() + used;
    destination->pub.free_in_buffer = out.size() - used;
    return TRUE;
}

void endBytes(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<BytesDestination*>(cinfo->dest);
    destination->out->resize(destination->out->size() - destination->pub.free_in_buffer);
}

// Owns the libjpeg objects for one call.
struct JpegObjects {
    jpeg_decompress_struct decoder{};
    jpeg_compress_struct encoder{};
    JpegErrorManager decoderErrors;
    JpegErrorManager encoderErrors;
    BytesDestination destination;
    bool decoderMade = false;
    bool encoderMade = false;
    ~JpegObjects()
    {
        if (encoderMade)
            jpeg_destroy_compress(&encoder);
        if (decoderMade)
            jpeg_destroy_decompress(&decoder);
    }
};

} // namespace

bool TurnJpeg(const Bytes& jpeg, int orientation, Bytes& turned, std::string& error, bool* otherLayout,
              const std::vector<MarkerReplacement>& replacements)
{
    if (otherLayout)
        *otherLayout = false;
    if (orientation < 2 || orientation > 8) {
        error = "no turn for this orientation";
        return false;
    }
    JpegObjects objects;
    TurnContext context;
    context.orientation = orientation;
    context.blockTurn = blockTurnFor(orientation);
    std::jmp_buf jump;
    objects.decoderErrors.jump = &jump;
    objects.encoderErrors.jump = &jump;

    jpeg_decompress_struct& d = objects.decoder;
    jpeg_compress_struct& c = objects.encoder;
    if (setjmp(jump) != 0) {
        turned.clear();
        const JpegErrorManager& failed = objects.encoderMade && objects.encoderErrors.message[0]
                                         ? objects.encoderErrors
                                         : objects.decoderErrors;
        error = std::string("JPEG turn: ") + failed.message;
        return false;
    }

    d.err = UseJpegErrors(objects.decoderErrors);
    jpeg_create_decompress(&d);
    objects.decoderMade = true;
    d.client_data = &context;
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_save_markers(&d, JPEG_COM, 0xFFFF);
    for (int m = 0; m < 16; ++m)
        jpeg_save_markers(&d, JPEG_APP0 + m, 0xFFFF);
    jpeg_read_header(&d, TRUE);

    if (d.num_components > kMaxComponents || d.max_h_samp_factor > kMaxSamplingFactor
        || d.max_v_samp_factor > kMaxSamplingFactor || d.jpeg_color_space == JCS_CMYK
        || d.jpeg_color_space == JCS_YCCK) {
        error = "JPEG turn: unsupported layout";
        if (otherLayout)
            *otherLayout = true;
        return false;
    }
    if (!samplesStayCentred(d, orientation)) {
        error = "JPEG turn: partial chroma samples at a moving edge";
        return false;
    }

    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
    for (int ci = 0; ci < d.num_components; ++ci)
        context.sourceArrays[ci] = arrays[ci];
    context.sourceArrayCount = d.num_components;
    if (objects.decoderErrors.prematureEnd) {
        error = "JPEG turn: damaged data";
        return false;
    }
    // From here on the coefficients are only read: the source rows are taken
    // now.

    for (int ci = 0; ci < d.num_components; ++ci) {
        ComponentFeed& feed = context.feeds[ci];
        const jpeg_component_info& component = d.comp_info[ci];
        feed.index = ci;
        feed.sourceWidth = static_cast<int>(component.width_in_blocks);
        feed.sourceHeight = static_cast<int>(component.height_in_blocks);
        feed.sourceRows.resize(component.height_in_blocks);
        for (JDIMENSION r = 0; r < component.height_in_blocks; ++r)
            feed.sourceRows[r] = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d),
                                                              context.sourceArrays[ci], r, 1, FALSE)[0];
        // The turned component is at most as wide as the longer source side;
        // the encoder asks for one iMCU row (at most 4 block rows) at a time.
        feed.rowWidth = std::max(feed.sourceWidth, feed.sourceHeight) + kMaxSamplingFactor;
        const std::size_t rowCoefficients = static_cast<std::size_t>(feed.rowWidth) * DCTSIZE2;
        feed.batch.resize(rowCoefficients * kBatchRows);
        feed.batchRows.resize(kBatchRows);
        for (int r = 0; r < kBatchRows; ++r)
            feed.batchRows[r] = reinterpret_cast<JBLOCKROW>(feed.batch.data() + r * rowCoefficients);
    }

    c.err = UseJpegErrors(objects.encoderErrors);
    jpeg_create_compress(&c);
    objects.encoderMade = true;
    c.client_data = &context;
    // The copy is about as large as the source; components turned through
    // their samples make it somewhat larger.
    turned.clear();
    turned.resize(jpeg.size() + jpeg.size() / 4 + (64 << 10));
    objects.destination.out = &turned;
    objects.destination.pub.init_destination = startBytes;
    objects.destination.pub.empty_output_buffer = growBytes;
    objects.destination.pub.term_destination = endBytes;
    c.dest = &objects.destination.pub;
    jpeg_copy_critical_parameters(&d, &c);
    if (isTransposing(orientation)) {
        std::swap(c.image_width, c.image_height);
        std::swap(c.X_density, c.Y_density);
        for (int ci = 0; ci < c.num_components; ++ci)
            std::swap(c.comp_info[ci].h_samp_factor, c.comp_info[ci].v_samp_factor);
        for (JQUANT_TBL* table : c.quant_tbl_ptrs) {
            if (!table)
                continue;
            for (int k = 0; k < DCTSIZE; ++k)
                for (int j = k + 1; j < DCTSIZE; ++j)
                    std::swap(table->quantval[k * DCTSIZE + j], table->quantval[j * DCTSIZE + k]);
        }
    }
    // Components whose blocks do not line up are turned through their samples
    // first.
    turnThroughSamples(d, c, orientation, context);
    jvirt_barray_ptr feeds[kMaxComponents] = {};
    for (int ci = 0; ci < c.num_components; ++ci)
        feeds[ci] = reinterpret_cast<jvirt_barray_ptr>(&context.feeds[ci]);
    c.mem->access_virt_barray = accessTurned;
    jpeg_write_coefficients(&c, feeds);

    // The source's own markers, except those the encoder writes itself, with
    // the replacements in place of the markers they name.
    bool replaced[8] = {};
    for (jpeg_saved_marker_ptr marker = d.marker_list; marker; marker = marker->next) {
        const bool jfif = marker->marker == JPEG_APP0 && marker->data_length >= 5
                          && std::memcmp(marker->data, "JFIF", 5) == 0;
        const bool adobe = marker->marker == JPEG_APP0 + 14 && marker->data_length >= 5
                           && std::memcmp(marker->data, "Adobe", 5) == 0;
        if ((jfif && c.write_JFIF_header) || (adobe && c.write_Adobe_marker))
            continue;
        const MarkerReplacement* replacement = nullptr;
        for (std::size_t i = 0; i < replacements.size() && i < std::size(replaced); ++i) {
            const MarkerReplacement& r = replacements[i];
            if (!replaced[i] && r.marker == marker->marker && marker->data_length >= r.prefix.size()
                && std::memcmp(marker->data, r.prefix.data(), r.prefix.size()) == 0) {
                replacement = &r;
                replaced[i] = true;
                break;
            }
        }
        if (replacement)
            jpeg_write_marker(&c, replacement->marker, replacement->data.data(),
                              static_cast<unsigned int>(replacement->data.size()));
        else
            jpeg_write_marker(&c, marker->marker, marker->data, marker->data_length);
    }
    for (std::size_t i = 0; i < replacements.size() && i < std::size(replaced); ++i)
        if (!replaced[i])
            jpeg_write_marker(&c, replacements[i].marker, replacements[i].data.data(),
                              static_cast<unsigned int>(replacements[i].data.size()));
    jpeg_finish_compress(&c);
    return true;
}

} // namespace quaylet::imageprep
