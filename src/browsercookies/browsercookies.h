#pragma once

// The cookies the user's browsers hold for a web site, as the text of the
// Cookie header a browser would send there on a top-level visit
// ("name=value; name=value"). Firefox profiles are asked first (the classic,
// XDG, snap and Flatpak folders, each install's default profile first), then
// Chromium-family browsers (native, snap and Flatpak; each Default profile
// first); the first profile whose text the caller accepts gives it.
// Databases are read from private copies: nothing in a browser profile is
// ever written or locked.
//
// Runs on the caller's thread. The only state kept between calls is the
// default sources' keyring answers, shared under a lock by their copies; a
// keyring lookup blocks the caller for at most its bound.

#include "browsercookies/browsercookiedb.h"

#include <optional>
#include <string>
#include <vector>

namespace quaylet::browsercookies {

// A Chromium-family browser's user-data folder and the "application" its
// keyring item carries.
struct ChromiumFolder {
    std::string folder;
    std::string keyringApplication;
};

// The keyring password of a browser's "application"; nothing when there is
// none to be had.
using KeyringPasswordReader = std::function<std::optional<std::string>(const std::string& application)>;

// Whether a profile's cookie text is the one wanted (say, it holds
// credentials).
using CookieTextCheck = std::function<bool(const std::string& text)>;

struct BrowserCookieSources {
    std::vector<std::string> firefoxFolders;     // folders holding a profiles.ini, in order
    std::vector<ChromiumFolder> chromiumFolders; // in order
    KeyringPasswordReader keyringPassword;       // may be empty: "v11" values are passed over
    CookieTextCheck accept;                      // may be empty: any text is accepted
    CookieNote note;                             // told of cookies passed over; may be empty
};

// The usual folders under `home`, with `configHome` for $XDG_CONFIG_HOME
// (home + "/.config" when empty). No keyring.
BrowserCookieSources BrowserCookieSourcesUnder(const std::string& home, const std::string& configHome = {});

// The usual folders under $HOME (the account's home folder when unset) and
// $XDG_CONFIG_HOME, and the desktop keyring, asked at most once per browser.
BrowserCookieSources DefaultBrowserCookieSources();

// The text of the first profile, in order, whose text `accept` takes; when
// none is taken, the first profile's text that has a cookie for the site.
// Nothing when no profile has a cookie for siteAddress (or it is not an http
// or https address).
std::optional<std::string>
BrowserCookieText(const std::string& siteAddress,
                  const BrowserCookieSources& sources = DefaultBrowserCookieSources());

} // namespace quaylet::browsercookies
