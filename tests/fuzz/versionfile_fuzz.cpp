// The update check's version file and the download address it names.

#include "fuzzsupport.h"
#include "update/versionfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    const quaylet::WebVersion version = quaylet::ParseVersionFile(text);
    if (const auto address = quaylet::WebDownloadAddress(version.downloadAddress)) {
        // Only web addresses may ever reach a browser.
        if (!address->starts_with("http://") && !address->starts_with("https://"))
            std::abort();
    }
    quaylet::WebDownloadAddress(text);
    return 0;
}
