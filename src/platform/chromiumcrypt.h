#pragma once

// Values of Chromium-family cookie databases on Linux. Without a desktop
// keyring the browser encrypts with a fixed key ("v10"); with one, the key
// lives in the keyring ("v11"), which the client does not ask for.

#include <optional>
#include <string>
#include <string_view>

namespace quaylet::platform {

enum class ChromiumValueKind { Plain, FixedKey, KeyringKey, Unknown };

ChromiumValueKind ClassifyChromiumValue(std::string_view encryptedValue);

// Decrypts a "v10" value. From database version 24 on, the browser puts the
// SHA-256 of the cookie's host before the value; it is dropped here.
// Nothing when the value does not decrypt.
std::optional<std::string> DecryptFixedKeyValue(std::string_view encryptedValue, bool hostDigestPrefix);

} // namespace quaylet::platform
