#pragma once

// Photo preparation before upload: an upright copy of a photo whose camera
// orientation says it is turned or mirrored, the JPEG that is uploaded (scaled
// into the account's box when large), and the date a photo was taken.
//
// Files are written to the process's private temporary directory
// (platform::TempPath()): upright copies as "TR<n>.jpeg" with a process-wide
// counter, the prepared photo as "temp_clean.image" (small images, re-encoded
// at quality 100) or "temp_thumbnail.image" (scaled, quality 90). Both are
// JPEG files whatever the source format.
//
// Threads: RotateToUpright and MakeUploadImage run one photo at a time, on the
// transfer thread or on its look-ahead worker but never on both at once (they
// share the pixels kept beside a turn, imageprep_keptpixels.h); two
// preparations into one directory would also write the same fixed files.
// RotateToUpright scales a JPEG's pixels on a short-lived second thread while
// it writes the turned copy, and keeps them (one photo's worth, at the box's
// size) for the MakeUploadImage of that copy. The counter is atomic.
// GetDateTaken may be called from any thread.
//
// Stopping: a JPEG's decoding, turn and encoding end between rows once the
// calling thread's work-stop check (platform/workstop.h) asks for it; the
// operation then takes its failure path and leaves no partial file.
//
// Limits: an image whose header claims more than kMaxImagePixels pixels is
// refused, as is a JPEG file larger than kMaxImageFileBytes; a JPEG whose data
// ends early ("premature end") counts as undecodable rather than being
// uploaded with a grey lower part. Refused and undecodable images take the
// failure path of each operation (empty path, no date).

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

// Boxes chosen by the transfer thread from the account type.
inline constexpr int kStandardImageBox = 800;
inline constexpr int kPremiumImageBox = 1500;

// An image no larger than this in both directions is re-encoded, not scaled.
inline constexpr int kScaleThreshold = 440;

// 128 Mi pixels (e.g. 16384 x 8192): room for 100-megapixel cameras, and at
// most 1 GiB for a full decode at 8 bytes per pixel.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 27;
inline constexpr std::int64_t kMaxImageFileBytes = std::int64_t{512} << 20;

// JPEG qualities of the two prepared copies.
inline constexpr int kCleanCopyQuality = 100;
inline constexpr int kScaledCopyQuality = 90;

struct ImageSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// The size an image of the given size is scaled to for the box: the smaller of
// the two ratios box/side, each held in single precision, times each side,
// truncated. Not limited to 1 (a small image is enlarged until it touches the
// box); sides that would truncate to 0 become 1.
ImageSize UploadTargetSize(ImageSize source, int boxWidth, int boxHeight);

// Writes an upright copy ("TR<n>.jpeg") of a photo whose orientation tag is 2
// to 8 and returns its full path; empty when no copy was written (no tag, the
// value 1 or one outside 1..8, not an image, or the copy failed). The copy
// keeps the source's metadata with the orientation set to 1. JPEG sources are
// turned in their coefficients: losslessly for each component whose blocks line
// up after the turn, the others through their samples and quantised with steps
// of 1 (other sources are decoded, turned and encoded at quality 100).
// With the `box` the copy is to be prepared for (0 when not known), a large
// JPEG's pixels are scaled for it beside the turn, for the MakeUploadImage of
// the copy with that box that follows.
std::string RotateToUpright(const std::string& path, int box = 0);

// Prepares the photo for upload and returns the path of the file to send:
// "temp_clean.image" when the image fits into kScaleThreshold in both
// directions, else "temp_thumbnail.image" scaled to UploadTargetSize. Empty
// when the temporary directory is missing, the source cannot be decoded or a
// copy cannot be written; both fixed files are removed first, so a file left by
// an earlier photo is never named for this one. The files go to `directory`
// (ending in '/') when one is given, else to the temporary directory.
std::string MakeUploadImage(const std::string& path, int boxWidth, int boxHeight,
                            const std::string& directory = {});

// The date and time the photo was taken (EXIF DateTimeOriginal, ASCII
// "YYYY:MM:DD HH:MM:SS" read as local time), as seconds since 1970; nothing
// when the file is no readable image, has no such tag of type ASCII, or the
// date is not usable.
std::optional<std::int64_t> GetDateTaken(const std::string& path);

// The date rule alone: fixed character positions, each piece read like atoi,
// day 1..31, month 1..12, year >= 1900, hour <= 23, minute and second <= 59.
std::optional<std::int64_t> ParseDateTaken(const std::string& text);

} // namespace quaylet
