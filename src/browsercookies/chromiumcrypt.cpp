#include "browsercookies/chromiumcrypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>

namespace quaylet::browsercookies {

namespace {

constexpr std::string_view kFixedKeyPrefix = "v10";
constexpr std::string_view kKeyringPrefix = "v11";
constexpr std::size_t kPrefixBytes = kFixedKeyPrefix.size();
static_assert(kKeyringPrefix.size() == kPrefixBytes);
constexpr std::size_t kHostDigestBytes = 32;
constexpr std::size_t kKeyBytes = 16;

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};

std::optional<std::array<unsigned char, kKeyBytes>> DerivedKey(std::string_view password)
{
    static constexpr unsigned char kSalt[] = {'s', 'a', 'l', 't', 'y', 's', 'a', 'l', 't'};
    std::array<unsigned char, kKeyBytes> key{};
    if (password.size() > INT32_MAX ||
        PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), kSalt, sizeof kSalt, 1,
                               key.size(), key.data()) != 1)
        return std::nullopt;
    return key;
}

} // namespace

ChromiumValueKind ClassifyChromiumValue(std::string_view encryptedValue)
{
    if (encryptedValue.empty())
        return ChromiumValueKind::Plain;
    if (encryptedValue.starts_with(kFixedKeyPrefix))
        return ChromiumValueKind::FixedKey;
    if (encryptedValue.starts_with(kKeyringPrefix))
        return ChromiumValueKind::KeyringKey;
    return ChromiumValueKind::Unknown;
}

std::optional<std::string> DecryptChromiumValue(std::string_view encryptedValue, std::string_view password,
                                                bool hostDigestPrefix)
{
    const ChromiumValueKind kind = ClassifyChromiumValue(encryptedValue);
    if (kind != ChromiumValueKind::FixedKey && kind != ChromiumValueKind::KeyringKey)
        return std::nullopt;
    const std::string_view cipherText = encryptedValue.substr(kPrefixBytes);
    auto key = DerivedKey(password);
    const std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
    if (!key || !ctx || cipherText.empty() || cipherText.size() > INT32_MAX)
        return std::nullopt;
    std::array<unsigned char, 16> iv;
    iv.fill(' ');
    std::string plain(cipherText.size() + 16, '\0');
    int written = 0;
    int last = 0;
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    const bool ok =
        EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key->data(), iv.data()) == 1 &&
        EVP_DecryptUpdate(ctx.get(), out, &written, reinterpret_cast<const unsigned char*>(cipherText.data()),
                          static_cast<int>(cipherText.size())) == 1 &&
        EVP_DecryptFinal_ex(ctx.get(), out + written, &last) == 1;
    if (key)
        OPENSSL_cleanse(key->data(), key->size());
    if (!ok) {
        OPENSSL_cleanse(plain.data(), plain.size());
        return std::nullopt;
    }
    plain.resize(static_cast<std::size_t>(written + last));
    if (hostDigestPrefix) {
        if (plain.size() < kHostDigestBytes)
            return std::nullopt;
        plain.erase(0, kHostDigestBytes);
    }
    return plain;
}

} // namespace quaylet::browsercookies
