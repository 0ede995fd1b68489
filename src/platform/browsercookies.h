#pragma once

// The cookies the user's browsers hold for a web site, as the text of the
// Cookie header a browser would send there ("name=value; name=value").
// Firefox profiles are asked first (the classic, snap and Flatpak folders,
// each default profile first), then Chromium-family browsers (each Default
// profile first); the first profile that has a cookie for the site gives the
// text. Databases are read from private copies: nothing in a browser profile
// is ever written or locked.
//
// Runs on the caller's thread and shares nothing.

#include "platform/browsercookiedb.h"

#include <optional>
#include <string>
#include <vector>

namespace quaylet::platform {

struct BrowserCookieSources {
    std::vector<std::string> firefoxFolders;  // folders holding a profiles.ini, in order
    std::vector<std::string> chromiumFolders; // browsers' user-data folders, in order
    CookieNote note;                          // told of cookies passed over; may be empty
};

// The usual folders under `home`.
BrowserCookieSources BrowserCookieSourcesUnder(const std::string& home);

// The usual folders under $HOME (the account's home folder when unset).
BrowserCookieSources DefaultBrowserCookieSources();

// Nothing when no profile has a cookie for siteAddress (or it is not an http
// or https address).
std::optional<std::string>
BrowserCookieText(const std::string& siteAddress,
                  const BrowserCookieSources& sources = DefaultBrowserCookieSources());

} // namespace quaylet::platform
