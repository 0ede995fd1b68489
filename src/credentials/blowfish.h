#pragma once

// Blowfish as the credentials store uses it: the published cipher (16 rounds,
// the standard key schedule over all key bytes), in ECB mode, with each
// 8-byte block taken as two 32-bit words read LITTLE-endian (bytes 0-3 the
// left half, byte 0 least significant; bytes 4-7 the right half) and written
// back the same way. Most libraries read the halves big-endian, which gives a
// different cipher text: stored passwords depend on this order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace quaylet {

class BlowfishCipher final {
public:
    // Key of 1 to 72 bytes (longer keys are cut at 72, as the key schedule does).
    explicit BlowfishCipher(std::string_view key);
    ~BlowfishCipher();
    BlowfishCipher(const BlowfishCipher&) = delete;
    BlowfishCipher& operator=(const BlowfishCipher&) = delete;

    // One block as two words (left, right).
    void encryptWords(uint32_t& left, uint32_t& right) const;
    void decryptWords(uint32_t& left, uint32_t& right) const;

    // ECB over whole 8-byte blocks with little-endian halves; size must be a
    // multiple of 8.
    void encryptLittleEndianEcb(uint8_t* data, std::size_t size) const;
    void decryptLittleEndianEcb(uint8_t* data, std::size_t size) const;

private:
    struct State;
    std::unique_ptr<State> m_state; // the key schedule, wiped on destruction
};

} // namespace quaylet
