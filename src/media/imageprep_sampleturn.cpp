#include "media/imageprep_sampleturn.h"

#include "media/imageprep_orientation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>
#include <utility>

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

} // namespace

SampleTurner::SampleTurner(SampleTurnSource source, int orientation, const UINT16* quantisation,
                           int widthInBlocks)
    : m_source(std::move(source))
    , m_orientation(orientation)
    , m_quantisation(quantisation)
    , m_widthInBlocks(widthInBlocks)
{
    const bool transposing = IsTransposing(orientation);
    m_turnedWidth = transposing ? m_source.sampleHeight : m_source.sampleWidth;
    m_turnedHeight = transposing ? m_source.sampleWidth : m_source.sampleHeight;
}

void SampleTurner::turnRows(int first, int count, JBLOCKROW* rows)
{
    if (count <= 0 || m_turnedWidth <= 0 || m_turnedHeight <= 0)
        return;
    const int width = m_source.sampleWidth;
    const int height = m_source.sampleHeight;
    const auto clampedRow = [this](int y) { return std::min(y, m_turnedHeight - 1); };
    const auto clampedColumn = [this](int x) { return std::min(x, m_turnedWidth - 1); };

    // The band's source samples lie in a rectangle whose corners are those of
    // the band, as a turn maps rows and columns to rows or columns.
    const int top = clampedRow(first * DCTSIZE);
    const int bottom = clampedRow((first + count) * DCTSIZE - 1);
    int left = width, right = -1, upper = height, lower = -1;
    for (const int y : {top, bottom})
        for (const int x : {0, m_turnedWidth - 1}) {
            const SourcePoint p = SourceOf(m_orientation, x, y, width, height);
            left = std::min(left, p.x);
            right = std::max(right, p.x);
            upper = std::min(upper, p.y);
            lower = std::max(lower, p.y);
        }
    const int firstBlockX = left / DCTSIZE, lastBlockX = right / DCTSIZE;
    const int firstBlockY = upper / DCTSIZE, lastBlockY = lower / DCTSIZE;
    const int stride = (lastBlockX - firstBlockX + 1) * DCTSIZE;
    m_strip.resize(static_cast<std::size_t>(stride) * (lastBlockY - firstBlockY + 1) * DCTSIZE);

    // The samples, limited to what a decoder shows. The inverse of
    // B * f * B^T is B^T * F * B.
    const Basis& forward = basis();
    static const Basis inverse = transposed(basis());
    JCOEF block[DCTSIZE2];
    Tile in{}, out{};
    for (int by = firstBlockY; by <= lastBlockY; ++by) {
        for (int bx = firstBlockX; bx <= lastBlockX; ++bx) {
            m_source.read(by, bx, block);
            // Most chroma blocks of a photo are flat: their samples are all
            // the same, without a transform.
            const bool flat = std::all_of(block + 1, block + DCTSIZE2, [](JCOEF c) { return c == 0; });
            if (flat) {
                out.fill(static_cast<float>(block[0]) * static_cast<float>(m_source.quantisation[0]) / DCTSIZE);
            } else {
                for (int i = 0; i < DCTSIZE2; ++i)
                    in[i] = static_cast<float>(block[i]) * static_cast<float>(m_source.quantisation[i]);
                transform(inverse, forward, in, out);
            }
            float* at = m_strip.data() + static_cast<std::size_t>(by - firstBlockY) * DCTSIZE * stride
                      + (bx - firstBlockX) * DCTSIZE;
            for (int y = 0; y < DCTSIZE; ++y)
                for (int x = 0; x < DCTSIZE; ++x)
                    at[y * stride + x] = std::clamp(out[y * DCTSIZE + x], -128.0f, 127.0f);
        }
    }

    // A turned sample's place in the strip is a column term plus a row term.
    const int originX = firstBlockX * DCTSIZE, originY = firstBlockY * DCTSIZE;
    const SourcePoint origin = SourceOf(m_orientation, 0, 0, width, height);
    m_columnTerm.resize(static_cast<std::size_t>(m_widthInBlocks) * DCTSIZE);
    for (std::size_t x = 0; x < m_columnTerm.size(); ++x) {
        const SourcePoint p = SourceOf(m_orientation, clampedColumn(static_cast<int>(x)), 0, width, height);
        m_columnTerm[x] = static_cast<std::ptrdiff_t>(p.y - origin.y) * stride + (p.x - origin.x);
    }
    m_rowTerm.resize(static_cast<std::size_t>(count) * DCTSIZE);
    for (std::size_t y = 0; y < m_rowTerm.size(); ++y) {
        const SourcePoint p =
            SourceOf(m_orientation, 0, clampedRow(first * DCTSIZE + static_cast<int>(y)), width, height);
        m_rowTerm[y] = static_cast<std::ptrdiff_t>(p.y - originY) * stride + (p.x - originX);
    }

    float reciprocal[DCTSIZE2];
    for (int i = 0; i < DCTSIZE2; ++i)
        reciprocal[i] = 1.0f / static_cast<float>(m_quantisation[i]);
    for (int by = 0; by < count; ++by)
        for (int bx = 0; bx < m_widthInBlocks; ++bx) {
            for (int y = 0; y < DCTSIZE; ++y) {
                const std::ptrdiff_t rowAt = m_rowTerm[static_cast<std::size_t>(by * DCTSIZE + y)];
                for (int x = 0; x < DCTSIZE; ++x)
                    in[y * DCTSIZE + x] = m_strip[static_cast<std::size_t>(
                        rowAt + m_columnTerm[static_cast<std::size_t>(bx * DCTSIZE + x)])];
            }
            transform(forward, inverse, in, out);
            // Rounded half away from zero, as libjpeg quantises. Samples within
            // -128..127 give coefficients within +-2048, so no clamp is needed.
            JCOEF* written = rows[by][bx];
            for (int i = 0; i < DCTSIZE2; ++i) {
                const float q = out[i] * reciprocal[i];
                written[i] = static_cast<JCOEF>(q + (q < 0 ? -0.5f : 0.5f));
            }
        }
}

} // namespace quaylet::imageprep
