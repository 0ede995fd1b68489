#pragma once

// The program's own four-part version, compiled in from the build.

#include <array>
#include <string>

namespace quaylet {

inline constexpr std::array<int, 4> GetOwnVersion()
{
    return {QUAYLET_VERSION_MAJOR, QUAYLET_VERSION_MINOR, QUAYLET_VERSION_PATCH, QUAYLET_VERSION_TWEAK};
}

// What --version prints: "<program> <major>.<minor>.<patch>.<tweak>" and a line feed.
inline std::string VersionLine(const std::string& program)
{
    const auto v = GetOwnVersion();
    return program + " " + std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]) + "\n";
}

} // namespace quaylet
