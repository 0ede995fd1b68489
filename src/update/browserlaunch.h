#pragma once

// Opens web addresses in the user's browser. The browser is the first entry of
// $BROWSER (one program name or path, never a command line) and otherwise the
// desktop's own opener, xdg-open. It is started detached, without a shell, with
// the address as its only argument, and never waited for.

#include <functional>
#include <string>
#include <vector>

namespace quaylet {

// Starts the browser and returns at once; a failed start goes unnoticed.
void OpenUrlInBrowser(const std::string& address);

// The same finding; false when no program could be started.
bool OpenUrlWithShell(const std::string& address);

// Receives (program, arguments) instead of a real start and says whether the
// start succeeded. Tests install one to see the address without a browser.
using BrowserStarter =
    std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>;

// Installs starter (an empty one restores real starts) and returns the one it
// replaces.
BrowserStarter SetBrowserStarter(BrowserStarter starter);

} // namespace quaylet
