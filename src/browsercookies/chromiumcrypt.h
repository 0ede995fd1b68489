#pragma once

// Values of Chromium-family cookie databases on Linux. Without a desktop
// keyring the browser encrypts with a key derived from a fixed password
// ("v10"); with one, from a password it keeps in the keyring ("v11").

#include <optional>
#include <string>
#include <string_view>

namespace quaylet::browsercookies {

enum class ChromiumValueKind { Plain, FixedKey, KeyringKey, Unknown };

// The password behind "v10" values.
inline constexpr std::string_view kChromiumFixedPassword = "peanuts";

ChromiumValueKind ClassifyChromiumValue(std::string_view encryptedValue);

// Decrypts a "v10" or "v11" value with the key derived from `password`. From
// database version 24 on, the browser puts the SHA-256 of the cookie's host
// before the value; it is dropped here. Nothing when the value does not
// decrypt.
std::optional<std::string> DecryptChromiumValue(std::string_view encryptedValue, std::string_view password,
                                                bool hostDigestPrefix);

} // namespace quaylet::browsercookies
