#pragma once

// The profile folders listed in a Firefox profiles.ini, default first.

#include <string>
#include <vector>

namespace quaylet::browsercookies {

// The text of profiles.ini read from `folder`: the install's default
// ([Install...] Default=), then the profile marked Default=1, then the other
// profiles in the file's order; relative paths are taken under `folder`. Each
// folder appears once.
std::vector<std::string> FirefoxProfileFolders(const std::string& folder, const std::string& iniText);

} // namespace quaylet::browsercookies
