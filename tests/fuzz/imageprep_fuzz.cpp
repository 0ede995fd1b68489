// Photos: the input as a dropped picture file, turned upright when its EXIF
// orientation says so, prepared for upload (the upright copy too) and asked
// for the date it was taken; the start of the input also as a date text.

#include "fuzzsupport.h"
#include "media/imageprep.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quaylet::fuzz::ScratchDir();
    // Qt's reader warns about every damaged picture, which would bury the
    // fuzzer's own report.
    ::setenv("QT_LOGGING_RULES", "qt.gui.imageio*=false", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes = quaylet::fuzz::AsText(data, size);
    const std::string photo = quaylet::fuzz::ScratchPath("photo.jpg");
    quaylet::fuzz::WriteInput(photo, bytes);

    const std::string upright = quaylet::RotateToUpright(photo, quaylet::kStandardImageBox);
    quaylet::MakeUploadImage(upright.empty() ? photo : upright, quaylet::kStandardImageBox,
                             quaylet::kStandardImageBox);
    if (!upright.empty())
        std::remove(upright.c_str());
    quaylet::GetDateTaken(photo);
    quaylet::ParseDateTaken(std::string(bytes.substr(0, 32)));
    return 0;
}
