#pragma once

// Video preparation: a dropped video is converted by two encoders run one after
// the other (mencoder to an MJPEG/PCM AVI cut at the account's end position,
// then ffmpeg to the H.264/AAC MP4 that is uploaded), and a still frame can be
// taken from a video for the window's preview picture.
//
// Which inputs need care: Debian's mencoder decodes MPEG-4 Visual video in AVI
// files (Xvid, DivX and the other MPEG-4 camera AVIs) through its own AVI
// reader as a frozen first frame while reporting success. Such files are
// recognised by their header (RIFF "AVI ", a video stream whose handler or
// compression code is an MPEG-4 Visual code, see IsMpeg4VisualAvi) and are
// read with mencoder's libavformat reader instead ("-demuxer lavf" appended to
// the first command). The first encoder stays mencoder for every input, so its
// "Pos:" progress lines fill the first half of the bar by the usual rule. Other
// inputs keep mencoder's own readers, which handle them correctly (the libavformat
// reader drops frames of MPEG-2 program streams and H.264 AVIs).

#include "media/redirector.h"
#include "platform/events.h"
#include "transfer/windowreactions.h"

#include <chrono>
#include <string>

namespace quaylet {

// The transfer engine's events that a conversion honours.
struct ConversionEvents {
    // Set by the Cancel command. When it stops an encoder, the conversion
    // clears it again.
    platform::Event& cancel;
    // Cleared while the first encoder runs, set when it ends or is stopped; the
    // Cancel command waits on it.
    platform::Event& acknowledgement;
    // The client is closing: the running encoder is stopped at once and the
    // conversion returns (the cancel event is left as it is). May be null.
    platform::Event* quit = nullptr;
};

struct ConversionOptions {
    // An encoder that writes nothing for this long is taken to hang: its group
    // is stopped and the conversion fails.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(120)};
};

// Converts `source` for upload and returns the path of "temp_video.mp4" in the
// private temp directory (empty only when there is no temp directory). The
// file exists there only when every encoder succeeded: after a cancel, a quit
// or a failed step it has been removed, so the caller never uploads a partial
// video. Reports progress (0..100, never backwards, 100 at success) and the
// status "Encoding: NN%" to `window` (may be null). Runs on the transfer thread.
std::string ConvertVideo(const std::string& source, bool premium, const ConversionEvents& events,
                         IWindowReactions* window, const ConversionOptions& options = {});

// For a video (kind 2) replaces `path` by the path of a still frame taken 2
// seconds into it, "moviepreview_0<n>_<index>.jpg" in the private temp
// directory (n: the process's preview counter), and returns true when that
// file was written (a video shorter than 2 seconds gives none). For kind 1 or
// less nothing happens and the result is false. Blocks the caller (the window's
// preview thread) for at most `bound`, then stops the encoder.
bool MakeVideoPreview(int index, std::string& path, int kind,
                      std::chrono::milliseconds bound = std::chrono::seconds(10));

} // namespace quaylet
