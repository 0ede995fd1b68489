// The update check's version file and the download address it names.

#include "fuzzsupport.h"
#include "update/versionfile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    const quaylet::WebVersion version = quaylet::ParseVersionFile(text);
    if (const auto address = quaylet::WebDownloadAddress(version.downloadAddress)) {
        // Only web addresses may ever reach a browser (schemes in any case).
        std::string scheme = address->substr(0, address->find(':'));
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (scheme != "http" && scheme != "https")
            std::abort();
    }
    quaylet::WebDownloadAddress(text);
    return 0;
}
