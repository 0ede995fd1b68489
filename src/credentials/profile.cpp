#include "credentials/profile.h"

#include "platform/hexdigit.h"
#include "platform/utf8.h"

#include "api/endpoints.h"
#include "api/signin.h"
#include "credentials/blowfish.h"
#include "credentials/credentialstore.h"
#include "credentials/passwordkeyring.h"
#include "core/logfile.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace quaylet {

namespace {

constexpr std::size_t kBlockBytes = 128;

std::string KeyFor(std::string_view siteAddress)
{
    return std::string(siteAddress) + kScrambleKeySuffix;
}

// Counts UTF-8 characters; false for malformed text or a control character.
bool CountPlainCharacters(std::string_view text, std::size_t& count)
{
    count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        char32_t cp = 0;
        const std::size_t len = platform::DecodeUtf8(text, i, cp);
        if (len == 0 || cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0))
            return false;
        i += len;
    }
    return true;
}

// Longer than a plain password can be: the text is the scrambled form.
bool LooksScrambled(std::string_view text)
{
    return platform::Utf8CharacterCount(text) > 32;
}

// The plain password of a stored value: unscrambled when it is the scrambled
// form (the text as stored when that fails), else the value itself.
std::string StoredPassword(const std::string& stored, std::string_view siteAddress)
{
    if (!LooksScrambled(stored))
        return stored;
    std::string plain;
    return UnscramblePassword(stored, plain, siteAddress) ? plain : stored;
}

bool ValidField(const std::string& text)
{
    std::size_t chars = 0;
    return !text.empty() && CountPlainCharacters(text, chars) && chars <= kMaxCredentialCharacters;
}

// A keyring that cannot serve is given up for the process; a quit that ended
// the wait is not the keyring's fault.
void NoteKeyringFailure(const KeyringReply& reply)
{
    if (reply.status == KeyringReply::Unavailable || reply.status == KeyringReply::Refused)
        DropCredentialKeyring(reply.reason.empty() ? "it refused" : reply.reason);
}

// True once the keyring holds the password (always under the current site
// address); false leaves it to the settings file.
bool SavePasswordToKeyring(const CProfile& profile)
{
    PasswordKeyring* keyring = CredentialKeyring();
    if (keyring == nullptr || !profile.IsValid())
        return false;
    const KeyringReply reply = keyring->write(KeyringAccount(profile.m_userName, kFixedSiteAddress), profile.m_password);
    NoteKeyringFailure(reply);
    return reply.status == KeyringReply::Done;
}

bool ReadPasswordFromKeyring(const std::string& userName, std::string_view siteAddress, CProfile& profile)
{
    PasswordKeyring* keyring = CredentialKeyring();
    if (keyring == nullptr || userName.empty() || KeyringReadsStopped())
        return false;
    const KeyringReply reply = keyring->read(KeyringAccount(userName, siteAddress));
    if (reply.status == KeyringReply::Refused) {
        // A dismissed unlock prompt: ask the user, not the keyring again.
        WriteLog(LogTrace, "Credentials: the keyring was not opened (%s)", reply.reason.c_str());
        StopKeyringReads();
        return false;
    }
    NoteKeyringFailure(reply);
    if (reply.status != KeyringReply::Done)
        return false;
    profile = CProfile(userName, reply.password);
    return profile.IsValid();
}

} // namespace

bool CProfile::IsValid() const
{
    return ValidField(m_userName) && ValidField(m_password);
}

CProfile& CurrentProfile()
{
    static CProfile profile;
    return profile;
}

std::string ScramblePassword(std::string_view password)
{
    return ScramblePasswordWithSite(password, kFixedSiteAddress);
}

std::string ScramblePasswordWithSite(std::string_view password, std::string_view siteAddress)
{
    std::array<uint8_t, kBlockBytes> block{};
    std::memcpy(block.data(), password.data(), std::min(password.size(), kBlockBytes));
    BlowfishCipher(KeyFor(siteAddress)).encryptLittleEndianEcb(block.data(), block.size());
    std::string text;
    text.reserve(kScrambledLength);
    char two[3];
    for (const uint8_t b : block) {
        std::snprintf(two, sizeof two, "%.2x", b);
        text += two;
    }
    OPENSSL_cleanse(block.data(), block.size());
    return text;
}

bool ScramblePassword(std::string_view password, char* buffer, std::size_t capacity)
{
    if (buffer == nullptr || capacity < kScrambledLength + 1)
        return false;
    const std::string text = ScramblePassword(password);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

bool UnscramblePassword(std::string_view scrambled, std::string& password, std::string_view siteAddress)
{
    if (scrambled.size() > kScrambledLength + 1)
        return false;
    std::array<uint8_t, kBlockBytes> block{};
    for (std::size_t i = 0; i < kBlockBytes; ++i) {
        const std::size_t at = 2 * i;
        if (at >= scrambled.size() || platform::HexDigitValue(scrambled[at]) < 0)
            continue;
        // Read like "%2x": one or two digits.
        int value = platform::HexDigitValue(scrambled[at]);
        if (at + 1 < scrambled.size() && platform::HexDigitValue(scrambled[at + 1]) >= 0)
            value = value * 16 + platform::HexDigitValue(scrambled[at + 1]);
        block[i] = static_cast<uint8_t>(value);
    }
    BlowfishCipher(KeyFor(siteAddress)).decryptLittleEndianEcb(block.data(), block.size());
    const auto* end = static_cast<const uint8_t*>(std::memchr(block.data(), 0, block.size()));
    password.assign(reinterpret_cast<const char*>(block.data()),
                    end != nullptr ? static_cast<std::size_t>(end - block.data()) : block.size());
    OPENSSL_cleanse(block.data(), block.size());
    return true;
}

bool SaveCredentials(const CProfile& profile)
{
    CredentialStore store(CredentialStore::Current);
    if (!store.writable())
        return false;
    if (SavePasswordToKeyring(profile))
        return store.writeUserNameOnly(profile.m_userName);
    return store.write(profile.m_userName, ScramblePassword(profile.m_password));
}

bool ForgetCredentials(const std::string& userName)
{
    if (PasswordKeyring* keyring = CredentialKeyring(); keyring != nullptr && !userName.empty()) {
        for (const char* site : {kFixedSiteAddress, kFixedBareSiteAddress, kFixedEarlierSiteAddress}) {
            const KeyringReply reply = keyring->remove(KeyringAccount(userName, site));
            if (reply.status == KeyringReply::Unavailable || reply.status == KeyringReply::Aborted)
                break;
        }
    }
    return SaveCredentials(CProfile());
}

bool LoadCredentials(CProfile& profile, std::string_view siteAddress)
{
    profile.m_userName.clear();
    profile.m_password.clear();
    {
        CredentialStore store(CredentialStore::Current);
        if (store.readable()) {
            const StoredValues values = store.read();
            if (ReadPasswordFromKeyring(values.userName, siteAddress, profile))
                return true;
            profile.m_userName = values.userName;
            profile.m_password = StoredPassword(values.password, siteAddress);
            // An older plain password is replaced by its scrambled form.
            if (!LooksScrambled(values.password) && values.passwordPresent && store.writable())
                store.writePassword(ScramblePassword(values.password));
            if (profile.IsValid()) {
                // Into the keyring, and out of the file once the keyring has it.
                if (values.passwordPresent && SavePasswordToKeyring(profile))
                    store.writeUserNameOnly(profile.m_userName);
                return true;
            }
        }
    }
    CredentialStore earlier(CredentialStore::Earlier);
    if (!earlier.exists() || !earlier.readable())
        return false;
    profile.m_userName.clear();
    profile.m_password.clear();
    const StoredValues values = earlier.read();
    profile.m_userName = values.userName;
    profile.m_password = StoredPassword(values.password, kFixedEarlierSiteAddress);
    if (!profile.IsValid())
        return false;
    return SaveCredentials(profile);
}

std::string PasswordHash(std::string_view password)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(password.data(), password.size(), digest, &length, EVP_sha1(), nullptr);
    std::string hex;
    char two[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

int SignInWithProfile(const CProfile& profile, std::string& errorText)
{
    return HTTPMethodLogin(profile.m_userName, PasswordHash(profile.m_password), errorText);
}

} // namespace quaylet
