#pragma once

// Overflow-tested 32-bit arithmetic for every size and count of the client:
// the body length travels as a 32-bit value, so a sum that does not fit must
// fail before anything is written, never wrap.

#include "http/errors.h"

#include <cstdint>

namespace Velto {

inline uint32_t SafeAdd(uint32_t a, uint32_t b)
{
    uint32_t result = 0;
    if (__builtin_add_overflow(a, b, &result))
        ThrowError(kErrOverflow);
    return result;
}

// A 64-bit size or count narrowed to 32 bits.
inline uint32_t SafeNarrow(uint64_t value)
{
    if (value > UINT32_MAX)
        ThrowError(kErrOverflow);
    return static_cast<uint32_t>(value);
}

// True when a + b fits in 32 bits.
inline bool CanAdd(uint32_t a, uint32_t b)
{
    uint32_t ignored = 0;
    return !__builtin_add_overflow(a, b, &ignored);
}

} // namespace Velto
