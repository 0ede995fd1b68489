#pragma once

// The profile folders listed in a Firefox profiles.ini, default first.

#include <string>
#include <vector>

namespace quaylet::browsercookies {

// From the texts of profiles.ini and installs.ini (empty when missing) read
// from `folder`: each install's default (profiles.ini's [Install...]
// sections, then installs.ini's sections, Default=), then the profile marked
// Default=1, then the other profiles in the file's order; relative paths are
// taken under `folder`. Each folder appears once.
std::vector<std::string> FirefoxProfileFolders(const std::string& folder, const std::string& profilesIni,
                                               const std::string& installsIni = {});

} // namespace quaylet::browsercookies
