#pragma once

// How a link label opens its address. The client installs its browser
// launcher here at start-up; tests install a recorder. Until something is
// installed the desktop's own handler opens the address.
//
// Window thread only: labels are clicked there and the opener is installed
// before any window exists.

#include <functional>
#include <string>

namespace quaylet {

// address: UTF-8, as the label holds it.
using BrowserOpener = std::function<void(const std::string& address)>;

// Installs opener (an empty one restores the desktop's handler) and returns
// the one it replaces, so a test can put the old one back.
BrowserOpener SetBrowserOpener(BrowserOpener opener);

void OpenLinkInBrowser(const std::string& address);

} // namespace quaylet
