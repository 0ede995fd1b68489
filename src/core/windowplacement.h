#pragma once

// The main window's placement as the 44-byte little-endian record kept in the
// "WindowPlacement" setting: length, flags, show command, minimised and
// maximised positions, and the normal (restored) rectangle in screen coordinates.

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace quaylet {

struct WindowPlacement {
    static constexpr uint32_t kRecordSize = 44;
    static constexpr uint32_t kShowNormal = 1;
    static constexpr uint32_t kShowMinimized = 2;
    static constexpr uint32_t kShowMaximized = 3;
    static constexpr uint32_t kShow = 5;

    uint32_t length = kRecordSize;
    uint32_t flags = 0;
    uint32_t showCmd = kShowNormal;
    int32_t minX = -1, minY = -1;
    int32_t maxX = -1, maxY = -1;
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    bool operator==(const WindowPlacement&) const = default;
};

QByteArray EncodePlacement(const WindowPlacement& placement);

// The record in the first 44 bytes, or nothing when fewer bytes are stored.
std::optional<WindowPlacement> DecodePlacement(const QByteArray& bytes);

// The record as it is saved: a minimised window is stored with show command 5,
// so that it comes back shown rather than minimised.
WindowPlacement PlacementForSaving(WindowPlacement placement, bool minimised);

} // namespace quaylet
