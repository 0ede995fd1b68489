#include "api/endpoints.h"
#include "credentials/blowfish.h"
#include "credentials/profile.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quaylet;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ToHex(const uint8_t* p, std::size_t n)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

uint32_t BigEndian(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Reverses the bytes of each 32-bit half of every block: turns the
// little-endian reading of the store into the usual big-endian one.
void SwapHalves(uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i + 4 <= n; i += 4)
        std::reverse(p + i, p + i + 4);
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Published Blowfish test vectors (the cipher's reference set), blocks read
// big-endian as usual.
const Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
    {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
    {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
    {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
    {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
    {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
};

} // namespace

TEST(BlowfishTest, PublishedVectorsAndTheLittleEndianHalves)
{
    for (const Vector& v : kVectors) {
        const auto key = FromHex(v.key);
        const BlowfishCipher cipher(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
        auto plain = FromHex(v.plain);
        auto expected = FromHex(v.cipher);

        // The words as the published vectors define them.
        uint32_t l = BigEndian(plain.data()), r = BigEndian(plain.data() + 4);
        cipher.encryptWords(l, r);
        EXPECT_EQ(l, BigEndian(expected.data())) << v.key;
        EXPECT_EQ(r, BigEndian(expected.data() + 4)) << v.key;
        cipher.decryptWords(l, r);
        EXPECT_EQ(l, BigEndian(plain.data()));

        // The store reads each half little-endian: the same vector holds for
        // the plain and cipher blocks with the bytes of each half reversed.
        SwapHalves(plain.data(), 8);
        cipher.encryptLittleEndianEcb(plain.data(), 8);
        SwapHalves(expected.data(), 8);
        EXPECT_EQ(ToHex(plain.data(), 8), ToHex(expected.data(), 8)) << v.key;
        cipher.decryptLittleEndianEcb(plain.data(), 8);
        SwapHalves(plain.data(), 8);
        EXPECT_EQ(ToHex(plain.data(), 8), v.plain);
    }
    // A text key from the cipher's published examples.
    const BlowfishCipher text("abcdefghijklmnopqrstuvwxyz");
    uint8_t block[8] = {'B', 'L', 'O', 'W', 'F', 'I', 'S', 'H'};
    uint32_t l = BigEndian(block), r = BigEndian(block + 4);
    text.encryptWords(l, r);
    EXPECT_EQ(l, 0x324ed0feu);
    EXPECT_EQ(r, 0xf413a203u);
}

TEST(BlowfishTest, ScrambledTextMatchesAnIndependentEcbCipher)
{
    // OpenSSL's EVP Blowfish (through the legacy provider, in a context of its
    // own) over the half-swapped block must give the same 256 digits.
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(ctx, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(ctx, "default");
    EVP_CIPHER* bf = legacy != nullptr ? EVP_CIPHER_fetch(ctx, "BF-ECB", nullptr) : nullptr;
    if (bf == nullptr) {
        OSSL_LIB_CTX_free(ctx);
        GTEST_SKIP() << "no legacy provider for the cross-check";
    }
    const std::string password = "correct horse 30 characters!!";
    const std::string key = std::string(kFixedSiteAddress) + kScrambleKeySuffix;
    uint8_t block[128] = {};
    std::copy(password.begin(), password.end(), block);
    SwapHalves(block, sizeof block);
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    ASSERT_EQ(EVP_EncryptInit_ex2(c, bf, nullptr, nullptr, nullptr), 1);
    ASSERT_EQ(EVP_CIPHER_CTX_set_key_length(c, static_cast<int>(key.size())), 1);
    ASSERT_EQ(EVP_EncryptInit_ex2(c, nullptr, reinterpret_cast<const unsigned char*>(key.data()), nullptr, nullptr), 1);
    EVP_CIPHER_CTX_set_padding(c, 0);
    uint8_t out[128] = {};
    int n = 0;
    ASSERT_EQ(EVP_EncryptUpdate(c, out, &n, block, sizeof block), 1);
    ASSERT_EQ(n, 128);
    SwapHalves(out, sizeof out);
    EXPECT_EQ(ScramblePassword(password), ToHex(out, sizeof out));
    EVP_CIPHER_CTX_free(c);
    EVP_CIPHER_free(bf);
    OSSL_PROVIDER_unload(legacy);
    OSSL_PROVIDER_unload(base);
    OSSL_LIB_CTX_free(ctx);
}
