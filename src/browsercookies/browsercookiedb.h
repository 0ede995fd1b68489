#pragma once

// The cookie databases of the two browser families, each read from a private
// copy. Nothing when the database cannot be copied or read.

#include "browsercookies/cookieheader.h"

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::browsercookies {

// Receives a line worth a trace in the log.
using CookieNote = std::function<void(const std::string&)>;

// The password a Chromium-family browser keeps in the desktop keyring;
// nothing when the keyring cannot give it. Asked only when needed.
using KeyringPasswordOnce = std::function<std::optional<std::string>()>;

// cookies.sqlite of a Firefox profile: the cookies of the default context
// (not those of containers or private windows).
std::optional<std::vector<StoredCookie>> ReadFirefoxCookies(const std::string& databasePath, std::time_t now);

// Cookies of a Chromium-family profile that a top-level visit to `address`
// would send: cookies partitioned under another site are left out. Only those
// cookies are decrypted; values that cannot be (a "v11" value while the
// keyring gives no password) are passed over with a note.
std::optional<std::vector<StoredCookie>> ReadChromiumCookies(const std::string& databasePath, std::time_t now,
                                                             const CookieAddress& address,
                                                             const KeyringPasswordOnce& keyringPassword,
                                                             const CookieNote& note);

} // namespace quaylet::browsercookies
