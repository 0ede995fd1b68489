#pragma once

// The version file the service publishes for the weekly update check: 8-bit
// text "major|minor|download address". Versions are packed into one unsigned
// number, major × 65536 + minor, so that two of them compare as numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quaylet {

// Each part cut to 16 bits, as the file's numbers are.
constexpr uint32_t PackVersion(uint32_t major, uint32_t minor)
{
    return (major & 0xFFFFu) << 16 | (minor & 0xFFFFu);
}
constexpr uint32_t VersionMajor(uint32_t packed)
{
    return packed >> 16;
}
constexpr uint32_t VersionMinor(uint32_t packed)
{
    return packed & 0xFFFFu;
}

struct WebVersion {
    uint32_t version = 0;        // packed
    std::string downloadAddress; // the third field exactly as it stands
};

// Splits the text at "|": a missing field counts as empty. The numbers are
// read as atol reads them (platform::LeadingInteger), an empty or non-numeric
// one as 0. The text ends at its first zero byte.
WebVersion ParseVersionFile(std::string_view text);

// The download address fit to hand to a browser: the first line of the field
// (the file may end in a line end), and only when it is an http or https
// address with a host. The file comes from the network, so nothing else (a
// local file, a program's own scheme) is ever opened.
std::optional<std::string> WebDownloadAddress(std::string_view field);

} // namespace quaylet
