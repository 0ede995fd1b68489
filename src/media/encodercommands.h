#pragma once

// The encoder command lines: the text that is logged, in its long-standing
// form, and the argument list that is actually run.

#include "media/redirector.h"

#include <string>

namespace quaylet {

// mencoder: the source to an MJPEG/PCM AVI cut at 10:00 (premium) or 02:00;
// "-demuxer lavf" is appended for MPEG-4 Visual AVIs (see videoconversion.h).
ChildCommand FirstEncoderCommand(const std::string& source, const std::string& aviPath, bool premium,
                                bool mpeg4VisualAvi);
// ffmpeg: the AVI to an H.264/AAC MP4 of at most 10 or 2 minutes.
ChildCommand SecondEncoderCommand(const std::string& aviPath, const std::string& mp4Path, bool premium);
// The FLV metadata tool, which does not exist here; its step fails to launch.
ChildCommand MetadataCommand(const std::string& mp4Path);
// ffmpeg: one JPEG frame 2 seconds into the video, written to the output
// pattern tempDir + "moviepreview_0<counter>_%d.jpg". The fixed parts are lower
// case; the paths keep their case.
ChildCommand PreviewCommand(const std::string& video, const std::string& tempDir, int counter);

} // namespace quaylet
