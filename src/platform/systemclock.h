#pragma once

// Machine-wide time readings: the uptime (for rules about how long the machine
// has been running) and how long the user has been away from keyboard and mouse.

#include <cstdint>
#include <optional>

namespace quaylet::platform {

// Milliseconds since boot, suspend time included (CLOCK_BOOTTIME).
uint64_t UptimeMilliseconds();

// Milliseconds since the user's last keyboard or mouse input, from the X11
// screen-saver extension. Nothing when there is no X11 display or the
// extension is missing: the user then counts as present.
std::optional<uint64_t> IdleMilliseconds();

} // namespace quaylet::platform
