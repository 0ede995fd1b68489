#pragma once

// The media upload (method "Media.upload"): one prepared photo or video is
// streamed to the service as a multipart form post in 1024-byte pieces; between
// pieces the call reports progress and looks at the cancel request. Blocking;
// runs on the transfer thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quaylet {

// What the upload reaches of its caller, asked on the calling thread between
// pieces (and by the network layer while a write blocks).
class IUploadObserver {
public:
    virtual ~IUploadObserver() = default;
    // The progress bar: its maximum (100) once, then the percentage per piece.
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int percentage) = 0;
    // The status line, e.g. "Uploading: 45%". Below 98 % every text goes to
    // the rate-limited path (the window's status-text limiter drops most of
    // them); from 98 % on it is set directly so the last one is never lost.
    virtual void setStatusTextLimited(const std::string& text) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    // The process-wide cancel flag.
    virtual bool cancelRequested() const = 0;
    // The request's bytes sent so far and its whole length, with each
    // percentage; for callers that account for what went over the wire.
    virtual void setBytesPosted(uint32_t /*posted*/, uint32_t /*total*/) {}
};

enum UploadMediaType : int {
    kMediaPhoto = 1,        // "photo"
    kMediaVideo = 2,        // "video"
    kMediaVideoNoMeta = 3,  // "video_no_meta"
};

// Result: 1 stored; the service's errcode (-3 duplicate, -5 upgrade needed,
// -6 photo limit, -7 video limit, or another value) when stat is not "ok";
// -4 for a reply without a readable stat, a failed stat without errcode, or a
// reply over 1 MiB; -8 for a failure on this side (network, file, a file of
// 4 GiB or more, cancel). A cancel counts only while the reply has not come:
// once it has, the service's answer is the result. mediaTime: seconds since 1970, sent as local date
// ("%04d%02d%02d") and time ("%02d%02d%02d").
int HTTPMethodUpload(IUploadObserver& observer, const std::string& mediaPath, const std::string& userName,
                     const std::string& password, int mediaType, int64_t mediaTime);

// posted * 100 / total, the fraction dropped, exact for any 32-bit counts
// (a plain 32-bit product would wrap above 42,949,672 posted bytes).
int UploadPercentage(uint32_t posted, uint32_t total);

// The fixed sizes of the upload.
inline constexpr int kUploadPiece = 1024;           // bytes per ProceedPost
inline constexpr std::size_t kUploadReadChunk = 511; // bytes per reply read
inline constexpr std::size_t kMaxUploadReply = 1024 * 1024;

} // namespace quaylet
