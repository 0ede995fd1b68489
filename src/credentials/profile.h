#pragma once

// The credentials record and its storage.
//
// Stored credentials live in $XDG_CONFIG_HOME/Glimmerly.conf as "szUsername"
// (plain) and, where the desktop has no keyring to hold the password,
// "szPassword" (the password scrambled: 128 bytes of Blowfish cipher text as
// 256 lower-case hex digits); the earlier product's
// $XDG_CONFIG_HOME/Kestrelio.conf is only read, for migration. Both files are
// kept readable by their owner only.
//
// The scrambling key is a site address followed by a fixed 16-character key;
// the site addresses used for it are always the fixed ones of api/endpoints.h,
// never the QUAYLET_SERVICE_URL override.
//
// Threads: every operation runs on the caller's thread and shares nothing but
// the files. CurrentProfile() is written during start-up on the window thread
// before the transfer thread starts, and only read afterwards.

#include <cstddef>
#include <string>
#include <string_view>

namespace quaylet {

class CProfile {
public:
    CProfile() = default;
    CProfile(std::string userName, std::string password)
        : m_userName(std::move(userName))
        , m_password(std::move(password))
    {
    }
    virtual ~CProfile() = default;
    CProfile(const CProfile&) = default;
    CProfile& operator=(const CProfile&) = default;

    // Both non-empty, each at most 30 characters, valid UTF-8 without control
    // characters.
    bool IsValid() const;

    std::string m_userName;
    std::string m_password; // plain
};

// The signed-in user's credentials, for the life of the process.
CProfile& CurrentProfile();

inline constexpr std::size_t kMaxCredentialCharacters = 30;
inline constexpr std::size_t kScrambledLength = 256;
inline constexpr const char* kScrambleKeySuffix = "m2xq9fd%pwk-hvne";

// Scrambles with the current (fixed) site address. False, buffer untouched,
// when capacity is below 257; otherwise the 256 digits and a terminator.
bool ScramblePassword(std::string_view password, char* buffer, std::size_t capacity);
std::string ScramblePassword(std::string_view password);

// The same under another site address's key: the form the earlier product
// and older installations left behind.
std::string ScramblePasswordWithSite(std::string_view password, std::string_view siteAddress);

// Reads 128 bytes from hex digit pairs (either case; a pair beyond the text or
// not starting with a hex digit gives 0) and decrypts with the given site
// address. False when the text is longer than 257 characters.
bool UnscramblePassword(std::string_view scrambled, std::string& password, std::string_view siteAddress);

// Writes the user name and the password: the password to the desktop's
// keyring when there is one (credentials/passwordkeyring.h), else scrambled
// to the store. False when the store cannot be written. May wait for the
// keyring: never on the window thread.
bool SaveCredentials(const CProfile& profile);

// Logout: deletes the user's keyring items and stores empty credentials.
// Waits like SaveCredentials.
bool ForgetCredentials(const std::string& userName);

// Loads valid credentials: the stored user name's password from the keyring
// (account "<user name>@<siteAddress>"), else from the store, unscrambling
// with siteAddress (a plain password found there is rewritten scrambled; a
// password found there moves to the keyring and leaves the file once the
// keyring has it); failing that, migrates valid credentials from the earlier
// product's store. Waits like SaveCredentials.
bool LoadCredentials(CProfile& profile, std::string_view siteAddress);

// 40 lower-case hex digits: the SHA-1 of the password's bytes.
std::string PasswordHash(std::string_view password);

// Signs in with the profile's user name and password hash; returns the
// sign-in call's result (1: signed in).
int SignInWithProfile(const CProfile& profile, std::string& errorText);

} // namespace quaylet
