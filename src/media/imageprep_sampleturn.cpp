#include "media/imageprep_sampleturn.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

namespace quaylet::imageprep {

namespace {

// The orthonormal 8-point DCT-II that JPEG uses: basis[k][n] is the weight of
// sample n in frequency k. Its transpose is the inverse.
using Basis = std::array<std::array<float, DCTSIZE>, DCTSIZE>;

const Basis& basis()
{
    static const Basis table = [] {
        Basis b{};
        for (int k = 0; k < DCTSIZE; ++k)
            for (int n = 0; n < DCTSIZE; ++n) {
                const double scale = k == 0 ? std::sqrt(1.0 / DCTSIZE) : std::sqrt(2.0 / DCTSIZE);
                b[k][n] =
                    static_cast<float>(scale * std::cos((2 * n + 1) * k * std::numbers::pi / (2 * DCTSIZE)));
            }
        return b;
    }();
    return table;
}

using Tile = std::array<float, DCTSIZE2>; // row-major, row = vertical index

// Eight floats as one value, so that a row of a block is one vector operation
// (two on plain x86-64).
typedef float Row __attribute__((vector_size(DCTSIZE * sizeof(float))));

// out = m * in * m^T in two passes that each add rows scaled by one number:
// t = m * in takes rows of `in`, out = t * m^T takes rows of m^T.
void transform(const Basis& m, const Basis& mTransposed, const Tile& in, Tile& out)
{
    Row inRows[DCTSIZE], basisRows[DCTSIZE], t[DCTSIZE];
    std::memcpy(inRows, in.data(), sizeof inRows);
    std::memcpy(basisRows, mTransposed.data(), sizeof basisRows);
    for (int k = 0; k < DCTSIZE; ++k) {
        Row sum = inRows[0] * m[k][0];
        for (int n = 1; n < DCTSIZE; ++n)
            sum += inRows[n] * m[k][n];
        t[k] = sum;
    }
    Row result[DCTSIZE];
    for (int r = 0; r < DCTSIZE; ++r) {
        Row sum = basisRows[0] * t[r][0];
        for (int n = 1; n < DCTSIZE; ++n)
            sum += basisRows[n] * t[r][n];
        result[r] = sum;
    }
    std::memcpy(out.data(), result, sizeof result);
}

Basis transposed(const Basis& b)
{
    Basis t{};
    for (int k = 0; k < DCTSIZE; ++k)
        for (int n = 0; n < DCTSIZE; ++n)
            t[n][k] = b[k][n];
    return t;
}

// Where turned sample (x, y) comes from in a source of width x height samples.
struct SourcePoint {
    int x = 0;
    int y = 0;
};

SourcePoint sourceOf(int orientation, int x, int y, int width, int height)
{
    switch (orientation) {
    case 2:
        return {width - 1 - x, y};
    case 3:
        return {width - 1 - x, height - 1 - y};
    case 4:
        return {x, height - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {y, height - 1 - x};
    case 7:
        return {width - 1 - y, height - 1 - x};
    default:
        return {width - 1 - y, x}; // 8
    }
}

} // namespace

void TurnComponentThroughSamples(const SampleTurnSource& source, int orientation, SampleTurnTarget& target)
{
    // The source's samples, level-shifted around 0 and limited to what a
    // decoder shows; blocks past the picture are never read.
    const int blocksWide = (source.sampleWidth + DCTSIZE - 1) / DCTSIZE;
    const int blocksHigh = (source.sampleHeight + DCTSIZE - 1) / DCTSIZE;
    const int stride = blocksWide * DCTSIZE;
    std::vector<float> samples(static_cast<std::size_t>(stride) * blocksHigh * DCTSIZE);
    // The inverse of B * f * B^T is B^T * F * B.
    const Basis& forward = basis();
    static const Basis inverse = transposed(basis());
    Tile in{}, out{};
    for (int by = 0; by < blocksHigh; ++by) {
        const JBLOCKROW row = (*source.rows)[static_cast<std::size_t>(by)];
        for (int bx = 0; bx < blocksWide; ++bx) {
            const JCOEF* block = row[bx];
            // Most chroma blocks of a photo are flat: their samples are all
            // the same, without a transform.
            const bool flat = std::all_of(block + 1, block + DCTSIZE2, [](JCOEF c) { return c == 0; });
            if (flat) {
                out.fill(static_cast<float>(block[0]) * static_cast<float>(source.quantisation[0]) / DCTSIZE);
            } else {
                for (int i = 0; i < DCTSIZE2; ++i)
                    in[i] = static_cast<float>(block[i]) * static_cast<float>(source.quantisation[i]);
                transform(inverse, forward, in, out);
            }
            float* at = samples.data() + static_cast<std::size_t>(by) * DCTSIZE * stride + bx * DCTSIZE;
            for (int y = 0; y < DCTSIZE; ++y)
                for (int x = 0; x < DCTSIZE; ++x)
                    at[y * stride + x] = std::clamp(out[y * DCTSIZE + x], -128.0f, 127.0f);
        }
    }

    // A turned sample's source offset is a column term plus a row term;
    // turned samples past the picture's edge repeat the last one.
    const bool transposing = orientation >= 5;
    const int width = transposing ? source.sampleHeight : source.sampleWidth;
    const int height = transposing ? source.sampleWidth : source.sampleHeight;
    std::vector<std::ptrdiff_t> columnTerm(static_cast<std::size_t>(target.widthInBlocks) * DCTSIZE);
    std::vector<std::ptrdiff_t> rowTerm(static_cast<std::size_t>(target.rowCount) * DCTSIZE);
    for (std::size_t x = 0; x < columnTerm.size(); ++x) {
        const int clamped = std::min(static_cast<int>(x), width - 1);
        const SourcePoint p = sourceOf(orientation, clamped, 0, source.sampleWidth, source.sampleHeight);
        const SourcePoint origin = sourceOf(orientation, 0, 0, source.sampleWidth, source.sampleHeight);
        columnTerm[x] = static_cast<std::ptrdiff_t>(p.y - origin.y) * stride + (p.x - origin.x);
    }
    for (std::size_t y = 0; y < rowTerm.size(); ++y) {
        const int clamped = std::min(static_cast<int>(y), height - 1);
        const SourcePoint p = sourceOf(orientation, 0, clamped, source.sampleWidth, source.sampleHeight);
        rowTerm[y] = static_cast<std::ptrdiff_t>(p.y) * stride + p.x;
    }

    target.coefficients.assign(static_cast<std::size_t>(target.widthInBlocks) * target.rowCount * DCTSIZE2,
                               0);
    float reciprocal[DCTSIZE2];
    for (int i = 0; i < DCTSIZE2; ++i)
        reciprocal[i] = 1.0f / static_cast<float>(target.quantisation[i]);
    JCOEF* written = target.coefficients.data();
    for (int by = 0; by < target.rowCount; ++by)
        for (int bx = 0; bx < target.widthInBlocks; ++bx, written += DCTSIZE2) {
            for (int y = 0; y < DCTSIZE; ++y) {
                const std::ptrdiff_t rowAt = rowTerm[static_cast<std::size_t>(by * DCTSIZE + y)];
                for (int x = 0; x < DCTSIZE; ++x)
                    in[y * DCTSIZE + x] = samples[static_cast<std::size_t>(
                        rowAt + columnTerm[static_cast<std::size_t>(bx * DCTSIZE + x)])];
            }
            transform(forward, inverse, in, out);
            // Rounded half away from zero, as libjpeg quantises. Samples within
            // -128..127 give coefficients within +-2048, so no clamp is needed.
            for (int i = 0; i < DCTSIZE2; ++i) {
                const float q = out[i] * reciprocal[i];
                written[i] = static_cast<JCOEF>(q + (q < 0 ? -0.5f : 0.5f));
            }
        }
}

} // namespace quaylet::imageprep
