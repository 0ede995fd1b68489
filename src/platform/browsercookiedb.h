#pragma once

// The cookie databases of the two browser families, each read from a private
// copy. Nothing when the database cannot be copied or read.

#include "platform/cookieheader.h"

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::platform {

// Receives a line worth a trace in the log.
using CookieNote = std::function<void(const std::string&)>;

// cookies.sqlite of a Firefox profile: the cookies of the default context
// (not those of containers or private windows).
std::optional<std::vector<StoredCookie>> ReadFirefoxCookies(const std::string& databasePath, std::time_t now);

// Cookies of a Chromium-family profile. Only cookies sent to `address` are
// decrypted; those keyed by the desktop keyring are passed over with a note.
std::optional<std::vector<StoredCookie>> ReadChromiumCookies(const std::string& databasePath, std::time_t now,
                                                             const CookieAddress& address,
                                                             const CookieNote& note);

} // namespace quaylet::platform
