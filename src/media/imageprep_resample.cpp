#include "media/imageprep_resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quaylet::imageprep {

namespace {

constexpr int kChannels = 4; // B, G, R and the padding byte of Format_RGB32
constexpr double kLobes = 3.0;
constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;
// The block average leaves at least this much reduction to the filter, so
// that the filter still removes what the blocks let through.
constexpr int kMinFilterReduction = 2;

double lanczos(double x)
{
    x = std::abs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= kLobes)
        return 0.0;
    const double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// One output pixel's source pixels along one axis and their weights, which
// sum to exactly kWeightOne so that a flat area stays exactly flat.
struct Taps {
    int count = 0;                // taps per output pixel; unused ones weigh 0
    std::vector<int> first;       // per output pixel
    std::vector<int16_t> weights; // count per output pixel
};

// Output pixel i of `outputSize` covers [i, i + 1) * originalSize / outputSize
// of the original axis; the source is the original averaged in blocks of
// `block` pixels (`sourceSize` of them, the last one possibly partial).
Taps makeTaps(int originalSize, int block, int sourceSize, int outputSize)
{
    const double ratio = static_cast<double>(originalSize) / outputSize; // original pixels per output pixel
    const double stretch = std::max(1.0, ratio / block); // the filter widens when it reduces
    const double support = kLobes * stretch;
    Taps taps;
    taps.count = std::min(sourceSize, static_cast<int>(std::ceil(2 * support)) + 1);
    taps.first.resize(static_cast<std::size_t>(outputSize));
    taps.weights.assign(static_cast<std::size_t>(outputSize) * static_cast<std::size_t>(taps.count), 0);
    std::vector<double> exact(static_cast<std::size_t>(taps.count));
    for (int i = 0; i < outputSize; ++i) {
        const double centre = (i + 0.5) * ratio / block - 0.5; // in source pixel indices
        // Taps outside the picture are dropped and the rest renormalised,
        // rather than repeating the edge pixel, which would weigh it too much.
        const int lowest = std::max(0, static_cast<int>(std::floor(centre - support)) + 1);
        const int highest = std::min(sourceSize - 1, static_cast<int>(std::ceil(centre + support)) - 1);
        const int first = std::min(lowest, sourceSize - taps.count);
        double sum = 0;
        for (int t = 0; t < taps.count; ++t) {
            const int index = first + t;
            exact[static_cast<std::size_t>(t)] = index >= lowest && index <= highest ? lanczos((index - centre) / stretch) : 0.0;
            sum += exact[static_cast<std::size_t>(t)];
        }
        int16_t* weights = taps.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.count);
        int32_t total = 0;
        int heaviest = 0;
        for (int t = 0; t < taps.count; ++t) {
            weights[t] = static_cast<int16_t>(std::lround(exact[static_cast<std::size_t>(t)] / sum * kWeightOne));
            total += weights[t];
            if (weights[t] > weights[heaviest])
                heaviest = t;
        }
        weights[heaviest] = static_cast<int16_t>(weights[heaviest] + kWeightOne - total);
        taps.first[static_cast<std::size_t>(i)] = first;
    }
    return taps;
}

uint8_t rounded(int32_t sum)
{
    // The shift floors, so adding a half rounds to nearest for negative sums too.
    return static_cast<uint8_t>(std::clamp((sum + (kWeightOne >> 1)) >> kWeightBits, 0, 255));
}

#if defined(__SSE2__)
// Two taps at a time: their pixels' channels interleaved and widened to 16
// bits, so that one multiply-add gives four channel sums of two products.
__m128i pairWeights(int16_t first, int16_t second)
{
    return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16)
                                               | static_cast<uint16_t>(first)));
}

__m128i storedPixels(__m128i sums)
{
    const __m128i shifted = _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(kWeightOne >> 1)), kWeightBits);
    const __m128i words = _mm_packs_epi32(shifted, shifted);
    return _mm_packus_epi16(words, words); // clamps to 0..255
}
#endif

void filterRow(const uint8_t* source, const Taps& taps, uint8_t* out, int outputWidth)
{
    for (int x = 0; x < outputWidth; ++x) {
        const uint8_t* pixel = source + static_cast<std::ptrdiff_t>(taps.first[static_cast<std::size_t>(x)]) * kChannels;
        const int16_t* weight = taps.weights.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(taps.count);
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i sums = zero;
        int t = 0;
        for (; t + 1 < taps.count; t += 2) {
            const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel + t * kChannels));
            const __m128i paired = _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_si128(two, 4)), zero);
            sums = _mm_add_epi32(sums, _mm_madd_epi16(paired, pairWeights(weight[t], weight[t + 1])));
        }
        if (t < taps.count) {
            int32_t last = 0;
            std::memcpy(&last, pixel + t * kChannels, sizeof last);
            const __m128i paired = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(last), zero), zero);
            sums = _mm_add_epi32(sums, _mm_madd_epi16(paired, pairWeights(weight[t], 0)));
        }
        const int32_t stored = _mm_cvtsi128_si32(storedPixels(sums));
        std::memcpy(out + x * kChannels, &stored, sizeof stored);
#else
        int32_t sum[kChannels] = {};
        for (int t = 0; t < taps.count; ++t, pixel += kChannels)
            for (int c = 0; c < kChannels; ++c)
                sum[c] += weight[t] * pixel[c];
        for (int c = 0; c < kChannels; ++c)
            out[x * kChannels + c] = rounded(sum[c]);
#endif
    }
}

// One result row from `rows` (one per tap).
void filterColumns(const uint8_t* const* rows, const int16_t* weight, int taps, std::vector<int32_t>& sums,
                   uint8_t* out)
{
    const std::size_t length = sums.size();
    std::size_t done = 0;
#if defined(__SSE2__)
    // Sixteen bytes of a row at a time, two rows per multiply-add.
    const __m128i zero = _mm_setzero_si128();
    for (; done + 16 <= length; done += 16) {
        __m128i part[4] = {zero, zero, zero, zero};
        for (int t = 0; t < taps; t += 2) {
            const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + done));
            const bool pair = t + 1 < taps;
            const __m128i lower = pair ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t + 1] + done))
                                       : zero;
            const __m128i weights = pairWeights(weight[t], pair ? weight[t + 1] : int16_t{0});
            const __m128i low = _mm_unpacklo_epi8(upper, lower);
            const __m128i high = _mm_unpackhi_epi8(upper, lower);
            part[0] = _mm_add_epi32(part[0], _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weights));
            part[1] = _mm_add_epi32(part[1], _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weights));
            part[2] = _mm_add_epi32(part[2], _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weights));
            part[3] = _mm_add_epi32(part[3], _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weights));
        }
        for (int i = 0; i < 4; ++i) {
            const int32_t stored = _mm_cvtsi128_si32(storedPixels(part[i]));
            std::memcpy(out + done + static_cast<std::size_t>(i) * 4, &stored, sizeof stored);
        }
    }
#endif
    std::fill(sums.begin() + static_cast<std::ptrdiff_t>(done), sums.end(), 0);
    for (int t = 0; t < taps; ++t) {
        const uint8_t* line = rows[t];
        const int32_t w = weight[t];
        for (std::size_t i = done; i < length; ++i)
            sums[i] += w * line[i];
    }
    for (std::size_t i = done; i < length; ++i)
        out[i] = rounded(sums[i]);
}

// One block row averaged: the column sums of its `rows` rows in blocks of
// `block` columns (the last block possibly partial) into `out`.
void averageColumns(const std::vector<uint32_t>& columnSums, int rows, int block, std::vector<uint8_t>& out)
{
    const int width = static_cast<int>(columnSums.size()) / kChannels;
    const int blocks = static_cast<int>(out.size()) / kChannels;
    for (int x = 0; x < blocks; ++x) {
        const int firstColumn = x * block;
        const int columns = std::min(block, width - firstColumn);
        const auto count = static_cast<uint32_t>(rows * columns);
        for (int c = 0; c < kChannels; ++c) {
            uint32_t sum = 0;
            for (int k = 0; k < columns; ++k)
                sum += columnSums[static_cast<std::size_t>((firstColumn + k) * kChannels + c)];
            out[static_cast<std::size_t>(x * kChannels + c)] = static_cast<uint8_t>((sum + count / 2) / count);
        }
    }
}

int blockFor(int originalSize, int outputSize)
{
    return std::max(1, originalSize / outputSize / kMinFilterReduction);
}

} // namespace

struct RowResampler::State {
    int sourceHeight = 0; // rows to be given
    int blockX = 1;
    int blockY = 1;
    Taps across;
    Taps down;
    QImage result;
    std::vector<uint8_t> ring;           // down.count rows filtered across
    std::vector<uint32_t> columnSums;    // the block row being averaged
    std::vector<uint8_t> averagedRow;
    std::vector<int32_t> sums;
    std::vector<const uint8_t*> rows;
    int given = 0;     // source rows given so far
    int narrowed = 0;  // rows (or averaged block rows) filtered across so far
    int finished = 0;  // result rows written
};

RowResampler::RowResampler(int sourceWidth, int sourceHeight, int width, int height)
{
    if (sourceWidth < 1 || sourceHeight < 1 || width < 1 || height < 1)
        return;
    try {
        auto state = std::make_unique<State>();
        State& s = *state;
        s.sourceHeight = sourceHeight;
        s.blockX = blockFor(sourceWidth, width);
        s.blockY = blockFor(sourceHeight, height);
        const int narrowWidth = (sourceWidth + s.blockX - 1) / s.blockX;
        const int narrowHeight = (sourceHeight + s.blockY - 1) / s.blockY;
        s.across = makeTaps(sourceWidth, s.blockX, narrowWidth, width);
        s.down = makeTaps(sourceHeight, s.blockY, narrowHeight, height);
        s.result = QImage(width, height, QImage::Format_RGB32);
        if (s.result.isNull())
            return;
        const auto rowBytes = static_cast<std::size_t>(width) * kChannels;
        s.ring.resize(static_cast<std::size_t>(s.down.count) * rowBytes);
        if (s.blockX > 1 || s.blockY > 1) {
            s.columnSums.resize(static_cast<std::size_t>(sourceWidth) * kChannels);
            s.averagedRow.resize(static_cast<std::size_t>(narrowWidth) * kChannels);
        }
        s.sums.resize(rowBytes);
        s.rows.resize(static_cast<std::size_t>(s.down.count));
        m_state = std::move(state);
    } catch (const std::bad_alloc&) {
        m_state.reset();
    }
}

RowResampler::~RowResampler() = default;

bool RowResampler::valid() const
{
    return m_state != nullptr;
}

bool RowResampler::complete() const
{
    return m_state && m_state->finished == m_state->result.height();
}

void RowResampler::addRow(const uint8_t* row)
{
    if (!m_state || m_state->given >= m_state->sourceHeight)
        return;
    State& s = *m_state;
    const int given = s.given++;
    const auto ringRows = static_cast<std::size_t>(s.down.count);
    const auto rowBytes = static_cast<std::size_t>(s.result.width()) * kChannels;
    const bool averaged = !s.columnSums.empty();
    if (averaged) {
        // A block row is averaged once its last row has come (the picture's
        // last block row may be shorter).
        if (given % s.blockY == 0)
            std::fill(s.columnSums.begin(), s.columnSums.end(), 0u);
        for (std::size_t i = 0; i < s.columnSums.size(); ++i)
            s.columnSums[i] += row[i];
        const int rowsInBlock = given % s.blockY + 1;
        if (rowsInBlock < s.blockY && s.given < s.sourceHeight)
            return;
        averageColumns(s.columnSums, rowsInBlock, s.blockX, s.averagedRow);
        row = s.averagedRow.data();
    }
    filterRow(row, s.across, s.ring.data() + static_cast<std::size_t>(s.narrowed) % ringRows * rowBytes,
              s.result.width());
    ++s.narrowed;

    // Every result row whose taps have all come is written now. A ring slot
    // is overwritten only by a row past the taps of every result row still to
    // come, since a result row's first tap never goes back up.
    while (s.finished < s.result.height()) {
        const int first = s.down.first[static_cast<std::size_t>(s.finished)];
        if (first + s.down.count > s.narrowed)
            break;
        for (std::size_t t = 0; t < ringRows; ++t)
            s.rows[t] = s.ring.data() + (static_cast<std::size_t>(first) + t) % ringRows * rowBytes;
        filterColumns(s.rows.data(),
                      s.down.weights.data() + static_cast<std::size_t>(s.finished) * ringRows,
                      s.down.count, s.sums, s.result.scanLine(s.finished));
        ++s.finished;
    }
}

QImage RowResampler::takeResult()
{
    if (!complete())
        return {};
    QImage result = std::move(m_state->result);
    m_state.reset();
    return result;
}

QImage ResampleImage(const QImage& image, int width, int height)
{
    if (image.isNull() || width < 1 || height < 1)
        return {};
    const QImage source = image.format() == QImage::Format_RGB32 ? image
                                                                  : image.convertToFormat(QImage::Format_RGB32);
    if (source.isNull())
        return {};
    RowResampler resampler(source.width(), source.height(), width, height);
    for (int y = 0; y < source.height() && resampler.valid(); ++y)
        resampler.addRow(source.constScanLine(y));
    return resampler.takeResult();
}

} // namespace quaylet::imageprep
