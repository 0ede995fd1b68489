#pragma once

#include <string>

namespace quaylet {

// True when the file is a RIFF AVI whose first video stream carries MPEG-4
// Visual video (Xvid, DivX 4/5 and the other MPEG-4 codes), judged by the
// stream header's handler code or the format's compression code. Anything but
// a regular file (a FIFO, a device) is false at once, without waiting on it.
bool IsMpeg4VisualAvi(const std::string& path);

} // namespace quaylet
