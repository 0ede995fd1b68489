// Prints the encoder command lines the client runs for a video, so that
// bench/video-convert/run times exactly those and not a copy of them:
//
//   videoconvert_bench <source> <avi> <mp4> <single-mp4> <premium 0|1>
//
// Three argument lists follow, each argument ended by a NUL byte and each list
// by an empty argument: the first step (source to AVI), the second (AVI to
// MP4), and for comparison one ffmpeg run with the second step's output
// settings straight from the source.

#include "media/encodercommands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void print(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments)
        std::fwrite(argument.c_str(), 1, argument.size() + 1, stdout);
    std::fputc('\0', stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || (std::strcmp(argv[5], "0") != 0 && std::strcmp(argv[5], "1") != 0)) {
        std::fputs("usage: videoconvert_bench <source> <avi> <mp4> <single-mp4> <premium 0|1>\n", stderr);
        return 2;
    }
    const bool premium = argv[5][0] == '1';
    // The clip is an MP4, never an MPEG-4 Visual AVI, so mencoder keeps its own reader.
    print(quaylet::FirstEncoderCommand(argv[1], argv[2], premium, false).arguments);
    print(quaylet::SecondEncoderCommand(argv[2], argv[3], premium).arguments);
    print(quaylet::SecondEncoderCommand(argv[1], argv[4], premium).arguments);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
