// The Firefox profile list: the input is profiles.ini, then, after the first
// NUL byte, installs.ini. Every folder listed must be named once and lie
// under the profile folder unless the list says it is absolute.

#include "browsercookies/firefoxprofiles.h"
#include "fuzzsupport.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr const char* kFolder = "/profiles";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    const std::size_t nul = text.find('\0');
    const std::string profiles(text.substr(0, nul));
    const std::string installs(nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1));

    std::vector<std::string> folders = quaylet::browsercookies::FirefoxProfileFolders(kFolder, profiles, installs);
    for (const std::string& folder : folders)
        if (folder.empty() || folder.front() != '/')
            std::abort();
    std::sort(folders.begin(), folders.end());
    if (std::adjacent_find(folders.begin(), folders.end()) != folders.end())
        std::abort();
    return 0;
}
