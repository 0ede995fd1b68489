#pragma once

// The password a Chromium-family browser keeps in the desktop keyring through
// the Secret Service: the item whose "application" attribute names the
// browser ("chromium", "chrome").
//
// The keyring is never asked to unlock: a locked collection gives nothing, so
// no prompt ever appears. A Secret Service that does not answer within the
// bound gives nothing too.

#include <chrono>
#include <optional>
#include <string>

namespace quaylet::browsercookies {

inline constexpr std::chrono::milliseconds kKeyringLookupBound{1500};

std::optional<std::string> ReadKeyringPassword(const std::string& application,
                                               std::chrono::milliseconds bound = kKeyringLookupBound);

} // namespace quaylet::browsercookies
