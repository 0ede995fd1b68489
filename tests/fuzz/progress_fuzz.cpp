// Encoder output: a run of chunks (cut at zero bytes, which the runner never
// delivers inside a chunk) read by one parser whose starting state comes
// from the first byte: which encoder, and the position limit of the first.

#include "fuzzsupport.h"
#include "media/progressparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t setup = data[0];
    quaylet::ProgressState state;
    if (setup & 1) {
        state.base = 50;
        state.secondEncoder = (setup & 2) != 0;
    } else {
        state.positionLimit = (setup & 2) ? 600 : 120;
    }
    for (const std::string_view chunk : quaylet::fuzz::SplitInput(quaylet::fuzz::AsText(data + 1, size - 1), '\0'))
        quaylet::ParseProgressChunk(state, std::string(chunk));
    return 0;
}
