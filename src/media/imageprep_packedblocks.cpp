#include "media/imageprep_packedblocks.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace quaylet::imageprep {

namespace {

constexpr int kChunkBits = 20; // 1 MiB chunks
constexpr std::size_t kChunkBytes = std::size_t{1} << kChunkBits;
constexpr std::uint32_t kNowhere = 0xFFFFFFFFu;
// A coefficient outside -127..127 is this byte followed by its two bytes.
constexpr std::uint8_t kWide = 0x80;
// The mask, then at most three bytes per coefficient.
constexpr std::size_t kMaxBlockBytes = sizeof(std::uint64_t) + 3 * DCTSIZE2;
static_assert(kChunkBytes >= kMaxBlockBytes);

} // namespace

PackedBlocks::PackedBlocks(int widthInBlocks, int heightInBlocks)
    : m_width(std::max(0, widthInBlocks))
    , m_height(std::max(0, heightInBlocks))
    , m_places(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), kNowhere)
{
}

std::uint8_t* PackedBlocks::room(std::size_t bytes)
{
    if (m_chunks.empty() || m_used + bytes > kChunkBytes) {
        if (m_chunks.size() + 1 >= (std::size_t{1} << (32 - kChunkBits)))
            throw std::bad_alloc(); // a place no longer fits its 32 bits
        m_chunks.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kChunkBytes));
        m_used = 0;
    }
    return m_chunks.back().get() + m_used;
}

void PackedBlocks::keepRow(int row, const JBLOCK* blocks)
{
    if (row < 0 || row >= m_height)
        return;
    std::uint8_t packed[kMaxBlockBytes];
    for (int col = 0; col < m_width; ++col) {
        const JCOEF* block = blocks[col];
        std::uint64_t mask = 0;
        std::size_t length = sizeof mask;
        for (int i = 0; i < DCTSIZE2; ++i) {
            const JCOEF value = block[i];
            if (value == 0)
                continue;
            mask |= std::uint64_t{1} << i;
            if (value >= -127 && value <= 127) {
                packed[length++] = static_cast<std::uint8_t>(static_cast<std::int8_t>(value));
            } else {
                packed[length++] = kWide;
                const auto wide = static_cast<std::uint16_t>(value);
                packed[length++] = static_cast<std::uint8_t>(wide & 0xFF);
                packed[length++] = static_cast<std::uint8_t>(wide >> 8);
            }
        }
        std::uint32_t& place = m_places[static_cast<std::size_t>(row) * m_width + col];
        if (mask == 0) {
            place = kNowhere;
            continue;
        }
        std::memcpy(packed, &mask, sizeof mask);
        std::uint8_t* at = room(length);
        std::memcpy(at, packed, length);
        place = static_cast<std::uint32_t>((m_chunks.size() - 1) << kChunkBits | m_used);
        m_used += length;
    }
}

void PackedBlocks::read(int row, int col, JCOEF* out) const
{
    std::fill(out, out + DCTSIZE2, JCOEF{0});
    if (row < 0 || row >= m_height || col < 0 || col >= m_width)
        return;
    const std::uint32_t place = m_places[static_cast<std::size_t>(row) * m_width + col];
    if (place == kNowhere)
        return;
    const std::uint8_t* at = m_chunks[place >> kChunkBits].get() + (place & (kChunkBytes - 1));
    std::uint64_t mask = 0;
    std::memcpy(&mask, at, sizeof mask);
    at += sizeof mask;
    while (mask != 0) {
        const int i = std::countr_zero(mask);
        mask &= mask - 1;
        if (*at == kWide) {
            out[i] = static_cast<JCOEF>(static_cast<std::uint16_t>(at[1] | at[2] << 8));
            at += 3;
        } else {
            out[i] = static_cast<JCOEF>(static_cast<std::int8_t>(*at));
            at += 1;
        }
    }
}

} // namespace quaylet::imageprep
