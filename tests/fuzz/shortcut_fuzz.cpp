// Link files: the input as a desktop entry's text and as a file dropped under
// that name.

#include "dropintake/shortcut.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quaylet::fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    quaylet::DesktopLinkTarget(std::string(text));
    const std::string path = quaylet::fuzz::ScratchPath("dropped.desktop");
    quaylet::fuzz::WriteInput(path, text);
    quaylet::ExpandShortcut(path);
    return 0;
}
