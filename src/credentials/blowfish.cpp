// The one place that touches OpenSSL's Blowfish. The low-level functions take
// a block as two 32-bit words, which is exactly the form the store's byte
// order is defined in, and need no legacy provider module at run time; they
// are deprecated in OpenSSL 3, hence the suppression in this file only.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "credentials/blowfish.h"

#include <openssl/blowfish.h>
#include <openssl/crypto.h>

#include <algorithm>

namespace quaylet {

struct BlowfishCipher::State {
    BF_KEY key;
};

BlowfishCipher::BlowfishCipher(std::string_view key)
    : m_state(std::make_unique<State>())
{
    const int length = static_cast<int>(std::min<std::size_t>(key.size(), 72));
    BF_set_key(&m_state->key, length, reinterpret_cast<const unsigned char*>(key.data()));
}

BlowfishCipher::~BlowfishCipher()
{
    OPENSSL_cleanse(&m_state->key, sizeof m_state->key);
}

void BlowfishCipher::encryptWords(uint32_t& left, uint32_t& right) const
{
    BF_LONG block[2] = {left, right};
    BF_encrypt(block, &m_state->key);
    left = static_cast<uint32_t>(block[0]);
    right = static_cast<uint32_t>(block[1]);
}

void BlowfishCipher::decryptWords(uint32_t& left, uint32_t& right) const
{
    BF_LONG block[2] = {left, right};
    BF_decrypt(block, &m_state->key);
    left = static_cast<uint32_t>(block[0]);
    right = static_cast<uint32_t>(block[1]);
}

namespace {

uint32_t LoadLittleEndian(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void StoreLittleEndian(uint32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

} // namespace

void BlowfishCipher::encryptLittleEndianEcb(uint8_t* data, std::size_t size) const
{
    for (std::size_t off = 0; off + 8 <= size; off += 8) {
        uint32_t l = LoadLittleEndian(data + off), r = LoadLittleEndian(data + off + 4);
        encryptWords(l, r);
        StoreLittleEndian(l, data + off);
        StoreLittleEndian(r, data + off + 4);
    }
}

void BlowfishCipher::decryptLittleEndianEcb(uint8_t* data, std::size_t size) const
{
    for (std::size_t off = 0; off + 8 <= size; off += 8) {
        uint32_t l = LoadLittleEndian(data + off), r = LoadLittleEndian(data + off + 4);
        decryptWords(l, r);
        StoreLittleEndian(l, data + off);
        StoreLittleEndian(r, data + off + 4);
    }
}

} // namespace quaylet
