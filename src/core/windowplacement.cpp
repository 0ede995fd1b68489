#include "core/windowplacement.h"

#include <QtEndian>

#include <array>

namespace quaylet {

namespace {
constexpr std::size_t kFields = WindowPlacement::kRecordSize / 4;

std::array<uint32_t, kFields> toFields(const WindowPlacement& p)
{
    auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    return {p.length, p.flags, p.showCmd, u(p.minX), u(p.minY), u(p.maxX), u(p.maxY),
            u(p.left), u(p.top), u(p.right), u(p.bottom)};
}
} // namespace

QByteArray EncodePlacement(const WindowPlacement& placement)
{
    QByteArray bytes(WindowPlacement::kRecordSize, '\0');
    const auto fields = toFields(placement);
    for (std::size_t i = 0; i < kFields; ++i)
        qToLittleEndian<uint32_t>(fields[i], bytes.data() + 4 * i);
    return bytes;
}

std::optional<WindowPlacement> DecodePlacement(const QByteArray& bytes)
{
    if (bytes.size() < static_cast<qsizetype>(WindowPlacement::kRecordSize))
        return std::nullopt;
    auto at = [&](std::size_t i) { return qFromLittleEndian<uint32_t>(bytes.constData() + 4 * i); };
    auto s = [&](std::size_t i) { return static_cast<int32_t>(at(i)); };
    WindowPlacement p;
    p.length = at(0);
    p.flags = at(1);
    p.showCmd = at(2);
    p.minX = s(3);
    p.minY = s(4);
    p.maxX = s(5);
    p.maxY = s(6);
    p.left = s(7);
    p.top = s(8);
    p.right = s(9);
    p.bottom = s(10);
    return p;
}

WindowPlacement PlacementForSaving(WindowPlacement placement, bool minimised)
{
    if (minimised)
        placement.showCmd = WindowPlacement::kShow;
    return placement;
}

} // namespace quaylet
