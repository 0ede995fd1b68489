#include "media/imageprep_jpegturn.h"

#include "media/imageprep_jpegerror.h"
#include "media/imageprep_orientation.h"
#include "media/imageprep_packedblocks.h"
#include "media/imageprep_sampleturn.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports fatal errors by jumping back with longjmp. Everything that
// the jump may cross is plain data, and every object with a destructor lives
// in TurnJpegToFile's frame from before the setjmp, so no destructor is skipped.

namespace quaylet::imageprep {

namespace {

constexpr int kMaxComponents = 4;
constexpr int kMaxSamplingFactor = 4;
constexpr int kBatchRows = 16; // a multiple of every sampling factor but 3

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
            const bool transposed = IsTransposing(orientation);
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

// A source component's blocks as the decoder delivers them: packed a row at a
// time, through a small buffer of the rows it is filling.
struct PackedSource {
    std::unique_ptr<PackedBlocks> blocks;
    std::vector<JCOEF> buffer;         // at most maxAccess rows
    std::vector<JBLOCKROW> bufferRows; // into buffer
    int bufferStart = 0;               // first row in the buffer
    int bufferCount = 0;               // rows in the buffer, not yet packed
    int maxAccess = 0;
};

// One component on its way to the encoder: the source's blocks, and a buffer
// of turned block rows that the encoder asks for an iMCU row at a time; for a
// component whose blocks do not line up after the turn, the rows are made
// through its samples.
struct ComponentFeed {
    int index = 0;
    // The source's blocks: packed, or libjpeg's own rows for a progressive
    // source, whose blocks every scan refines again.
    const PackedBlocks* packed = nullptr;
    std::vector<JBLOCKROW> sourceRows;
    int sourceWidth = 0;              // meaningful blocks per source row
    int sourceHeight = 0;             // meaningful source rows
    std::vector<JCOEF> batch;         // kBatchRows rows of rowWidth blocks
    std::vector<JBLOCKROW> batchRows; // into batch
    int batchStart = -(1 << 30);      // first turned row held in batch (none yet)
    int rowWidth = 0;                 // blocks per row of batch
    std::unique_ptr<SampleTurner> throughSamples; // only for a component that does not line up
    int sampleTurnRows = 0;                       // the turned rows it makes

    void read(int row, int col, JCOEF* out) const
    {
        if (packed)
            packed->read(row, col, out);
        else
            std::memcpy(out, sourceRows[static_cast<std::size_t>(row)][col], sizeof(JBLOCK));
    }
};

struct TurnContext {
    int orientation = 1;
    BlockTurn blockTurn{};
    PackedSource packedSources[kMaxComponents];
    int packedCount = 0;
    ComponentFeed feeds[kMaxComponents];
};

// The decoder's "virtual arrays" for a sequential source, whose blocks come
// once each, a row after the other: each is one of our packed stores.
jvirt_barray_ptr requestPacked(j_common_ptr cinfo, int, boolean, JDIMENSION blocksPerRow, JDIMENSION rowCount,
                               JDIMENSION maxAccess)
{
    auto* context = static_cast<TurnContext*>(cinfo->client_data);
    if (context->packedCount >= kMaxComponents)
        ERREXIT(cinfo, JERR_COMPONENT_COUNT);
    PackedSource& source = context->packedSources[context->packedCount++];
    bool made = true;
    try {
        source.blocks = std::make_unique<PackedBlocks>(static_cast<int>(blocksPerRow), static_cast<int>(rowCount));
        source.maxAccess = static_cast<int>(maxAccess);
        source.buffer.resize(static_cast<std::size_t>(maxAccess) * blocksPerRow * DCTSIZE2);
        source.bufferRows.resize(maxAccess);
        for (JDIMENSION r = 0; r < maxAccess; ++r)
            source.bufferRows[r] = reinterpret_cast<JBLOCKROW>(source.buffer.data() + r * blocksPerRow * DCTSIZE2);
    } catch (const std::bad_alloc&) {
        made = false;
    }
    if (!made)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    return reinterpret_cast<jvirt_barray_ptr>(&source);
}

// Packs the rows in the buffer; false when memory runs out.
bool packBuffered(PackedSource& source)
{
    try {
        for (int r = 0; r < source.bufferCount; ++r)
            source.blocks->keepRow(source.bufferStart + r, source.bufferRows[static_cast<std::size_t>(r)]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    source.bufferStart += source.bufferCount;
    source.bufferCount = 0;
    return true;
}

JBLOCKARRAY accessPacked(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION rowCount,
                         boolean writable)
{
    auto& source = *reinterpret_cast<PackedSource*>(array);
    const int first = static_cast<int>(startRow);
    const int count = static_cast<int>(rowCount);
    // The decoder fills the rows that follow those it filled before.
    if (!writable || count > source.maxAccess || first != source.bufferStart + source.bufferCount
        || first + count > source.blocks->height())
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (!packBuffered(source))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    // The decoder writes only the non-zero coefficients of a block.
    std::fill_n(source.buffer.begin(), static_cast<std::size_t>(count) * source.blocks->width() * DCTSIZE2, JCOEF{0});
    source.bufferCount = count;
    return source.bufferRows.data();
}

// Packs what the decoder left in the buffers once it has read the last row.
[[gnu::noinline]] // its locals stay out of TurnJpeg's setjmp frame
bool packAllBuffered(TurnContext& context)
{
    for (int i = 0; i < context.packedCount; ++i)
        if (!packBuffered(context.packedSources[i]))
            return false;
    return true;
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
    if (count > kBatchRows || width > feed->rowWidth)
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (first >= feed->batchStart && first + count <= feed->batchStart + kBatchRows)
        return feed->batchRows.data() + (first - feed->batchStart);
    feed->batchStart = first;

    if (feed->throughSamples) {
        if (first + count > feed->sampleTurnRows)
            ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        bool turned = true;
        try {
            feed->throughSamples->turnRows(first, std::min(kBatchRows, feed->sampleTurnRows - first),
                                           feed->batchRows.data());
        } catch (const std::bad_alloc&) {
            turned = false;
        }
        if (!turned)
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        return feed->batchRows.data();
    }

    // Rows are turned a batch at a time. A transposing turn reads the source
    // down its columns; taking a batch of neighbouring columns at once reads
    // each source row in runs of blocks instead of one block per row.
    const int end = std::min(first + kBatchRows, height);
    JCOEF block[DCTSIZE2];
    auto turnOne = [&](int row, int col) {
        const SourcePoint from = SourceOf(context->orientation, col, row, feed->sourceWidth, feed->sourceHeight);
        const int sourceRow = from.y, sourceCol = from.x;
        if (sourceRow < 0 || sourceCol < 0 || sourceRow >= feed->sourceHeight || sourceCol >= feed->sourceWidth)
            ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        feed->read(sourceRow, sourceCol, block);
        turnBlock(block, feed->batchRows[row - first][col], context->blockTurn);
    };
    if (IsTransposing(context->orientation)) {
        for (int col = 0; col < width; ++col)
            for (int row = first; row < end; ++row)
                turnOne(row, col);
    } else {
        for (int row = first; row < end; ++row)
            for (int col = 0; col < width; ++col)
                turnOne(row, col);
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

// Prepares the components whose blocks do not line up to be turned through
// their samples as the encoder asks for them. The turned blocks no longer sit
// on the source's quantisation grid, so its steps would add their error a
// second time: they get steps of 1, as a copy made from decoded pixels gets at
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
        const int turnedWidth = IsTransposing(orientation) ? height : width;
        const int turnedHeight = IsTransposing(orientation) ? width : height;
        const int rowsPerIMcu = c.comp_info[ci].v_samp_factor;
        const int turnedRows = (turnedHeight + DCTSIZE - 1) / DCTSIZE;
        feed.sampleTurnRows = (turnedRows + rowsPerIMcu - 1) / rowsPerIMcu * rowsPerIMcu;
        SampleTurnSource source{[&feed](int row, int col, JCOEF* out) { feed.read(row, col, out); }, width,
                                height, sourceTable->quantval};
        bool made = true;
        try {
            feed.throughSamples = std::make_unique<SampleTurner>(std::move(source), orientation,
                                                                 targetTable->quantval,
                                                                 (turnedWidth + DCTSIZE - 1) / DCTSIZE);
        } catch (const std::bad_alloc&) {
            made = false;
        }
        if (!made)
            ERREXIT1(&d, JERR_OUT_OF_MEMORY, 0);
    }
}

// The encoder writes the copy through a small buffer straight into its file:
// a turned copy is as large as the photo, larger when components go through
// their samples, and there is no need to hold it.
struct FileDestination {
    jpeg_destination_mgr pub; // first: libjpeg hands back a pointer to it
    OutputFile* file = nullptr;
    std::vector<unsigned char> buffer;
    std::string error; // why the file could not be written
};

void startFile(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<FileDestination*>(cinfo->dest);
    destination->pub.next_output_byte = destination->buffer.data();
    destination->pub.free_in_buffer = destination->buffer.size();
}

void writeBuffered(j_compress_ptr cinfo, std::size_t bytes)
{
    auto* destination = reinterpret_cast<FileDestination*>(cinfo->dest);
    if (!destination->file->write(destination->buffer.data(), bytes, destination->error))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    startFile(cinfo);
}

boolean flushFile(j_compress_ptr cinfo)
{
    writeBuffered(cinfo, reinterpret_cast<FileDestination*>(cinfo->dest)->buffer.size());
    return TRUE;
}

void endFile(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<FileDestination*>(cinfo->dest);
    writeBuffered(cinfo, destination->buffer.size() - destination->pub.free_in_buffer);
}

// Owns the libjpeg objects for one call.
struct JpegObjects {
    jpeg_decompress_struct decoder{};
    jpeg_compress_struct encoder{};
    JpegErrorManager decoderErrors;
    JpegErrorManager encoderErrors;
    FileDestination destination;
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

bool TurnJpegToFile(const Bytes& jpeg, int orientation, OutputFile& turned, std::string& error, bool* otherLayout,
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
        const JpegErrorManager& failed = objects.encoderMade && objects.encoderErrors.message[0]
                                         ? objects.encoderErrors
                                         : objects.decoderErrors;
        error = "JPEG turn: " + (objects.destination.error.empty() ? std::string(failed.message)
                                                                   : objects.destination.error);
        return false;
    }

    d.err = UseJpegErrors(objects.decoderErrors);
    jpeg_create_decompress(&d);
    objects.decoderMade = true;
    d.client_data = &context;
    d.progress = StopWhenAsked(objects.decoderErrors);
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

    // A sequential source's blocks are packed as they are decoded; a
    // progressive one's stay in libjpeg's arrays, as every scan refines them.
    const bool packed = !d.progressive_mode;
    if (packed) {
        d.mem->request_virt_barray = requestPacked;
        d.mem->access_virt_barray = accessPacked;
    }
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
    if (objects.decoderErrors.prematureEnd) {
        error = "JPEG turn: damaged data";
        return false;
    }
    if (packed && !packAllBuffered(context)) {
        error = "JPEG turn: out of memory";
        return false;
    }

    for (int ci = 0; ci < d.num_components; ++ci) {
        ComponentFeed& feed = context.feeds[ci];
        const jpeg_component_info& component = d.comp_info[ci];
        feed.index = ci;
        feed.sourceWidth = static_cast<int>(component.width_in_blocks);
        feed.sourceHeight = static_cast<int>(component.height_in_blocks);
        if (packed) {
            feed.packed = reinterpret_cast<PackedSource*>(arrays[ci])->blocks.get();
        } else {
            feed.sourceRows.resize(component.height_in_blocks);
            for (JDIMENSION r = 0; r < component.height_in_blocks; ++r)
                feed.sourceRows[r] = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[ci],
                                                                  r, 1, FALSE)[0];
        }
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
    c.progress = StopWhenAsked(objects.encoderErrors);
    constexpr std::size_t kWriteBytes = 64 << 10;
    objects.destination.buffer.resize(kWriteBytes);
    objects.destination.file = &turned;
    objects.destination.pub.init_destination = startFile;
    objects.destination.pub.empty_output_buffer = flushFile;
    objects.destination.pub.term_destination = endFile;
    c.dest = &objects.destination.pub;
    jpeg_copy_critical_parameters(&d, &c);
    if (IsTransposing(orientation)) {
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
