#pragma once

// The program's own four-part version, compiled in from the build.

#include <array>

namespace quaylet {

inline constexpr std::array<int, 4> GetOwnVersion()
{
    return {QUAYLET_VERSION_MAJOR, QUAYLET_VERSION_MINOR, QUAYLET_VERSION_PATCH, QUAYLET_VERSION_TWEAK};
}

} // namespace quaylet
