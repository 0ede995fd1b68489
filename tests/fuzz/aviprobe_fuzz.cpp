// The AVI header probe, reading the input as a video file.

#include "fuzzsupport.h"
#include "media/aviprobe.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quaylet::fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string path = quaylet::fuzz::ScratchPath("clip.avi");
    quaylet::fuzz::WriteInput(path, quaylet::fuzz::AsText(data, size));
    quaylet::IsMpeg4VisualAvi(path);
    return 0;
}
