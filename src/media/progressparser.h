#pragma once

// Reads encoder progress out of the chunks of output the runner delivers.
// Chunks are not lines: a line split across two chunks yields at most one of
// its parts' values. The keyword rules, their order, the in-place splitting
// that hides later keywords, and the unsigned 32-bit arithmetic are kept
// exactly as the encoder progress has always been read, so that both encoders'
// output maps onto one 0..100 bar: the first encoder fills 0..50 by position
// over the account's limit, the second 50..100 by frames, then by time.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

struct ProgressState {
    int32_t frameTotal = 0;    // frames to expect; 0 = none yet
    int32_t base = 0;          // percent reached before this step
    int32_t span = 50;         // percent this step covers
    int32_t positionLimit = 0; // seconds: 600 or 120 during the first encoder, 0 afterwards
    bool secondEncoder = false; // the output named "temp_video.avi"
    int32_t clipDuration = 0;   // whole seconds, from the second encoder's "Duration:" line
};

// Applies the rules to one chunk and returns the percent it gives (before any
// capping), or nothing when no rule gave one.
std::optional<uint32_t> ParseProgressChunk(ProgressState& state, std::string chunk);

} // namespace quaylet
