#pragma once

// Credentials from the service's web site: signed in there, a browser holds
// the cookies "cookieusername" and "cookiepassword" (the plain password,
// %XX-encoded). Found credentials are saved like typed ones, so the next start
// finds them in the store.
//
// Runs on the window thread during start-up, before the transfer thread.

#include "credentials/profile.h"
#include "credentials/startupsignin.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

// The Cookie header text for a site address; nothing when there is none.
using CookieTextReader = std::function<std::optional<std::string>(const std::string& siteAddress)>;

// Reads the user's browsers (under $HOME), noting passed-over cookies in the
// log at level 4; of the profiles with cookies for the site, the first whose
// cookies hold credentials gives the text.
CookieTextReader BrowserCookieReader();

// Takes both cookies from a text of "name=value" segments separated by ";"
// into profile; true when the profile then holds valid credentials.
bool ParseCookieCredentials(CProfile& profile, std::string_view cookieText);

// Empties profile, reads the cookie text for siteAddress and parses it; on
// success saves the credentials. Logs what happened at level 4.
bool ReadCookieCredentials(CProfile& profile, const std::string& siteAddress,
                           const CookieTextReader& reader = BrowserCookieReader());

// The browser-cookie sources of the start-up for the current, bare and
// earlier site addresses: the real site's, whatever QUAYLET_SERVICE_URL says,
// since the cookies belong to it. To be tried after StoredCredentialSources().
std::vector<CredentialSource> CookieCredentialSources(const CookieTextReader& reader = BrowserCookieReader());

} // namespace quaylet
