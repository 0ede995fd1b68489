#pragma once

// The EXIF side of photo preparation, on exiv2: the orientation and date tags
// with their types, and the metadata of an upright copy. Nothing here throws;
// every exiv2 exception becomes "absent" or a failure with a reason.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::imageprep {

using Bytes = std::vector<unsigned char>;

// Where the metadata is read from: the file's bytes when they are already in
// memory, else the file itself.
struct MetadataSource {
    const std::string& path;
    const Bytes* bytes = nullptr;
};

// Tag 0x0112 when present with type SHORT: its first value as a signed 16-bit
// number.
std::optional<int> ReadOrientation(const MetadataSource& source);

// Tag 0x9003 (DateTimeOriginal) when present with type ASCII.
std::optional<std::string> ReadDateTakenText(const std::string& path);

// Puts the source's metadata into the JPEG in `jpeg` with the orientation set
// to 1 (EXIF and XMP); when the picture was transposed (orientations 5 to 8)
// the recorded pixel dimensions are swapped. The embedded preview, which still
// shows the unturned picture, is dropped.
bool WriteUprightMetadata(const MetadataSource& source, bool transposed, Bytes& jpeg,
                          std::string& error);

// The same metadata as marker payloads for a JPEG copy that keeps the
// source's other markers: `exif` replaces the source's APP1 "Exif" marker and,
// when the source's XMP records an orientation, `xmp` its APP1 XMP marker.
// False when a payload would not fit into a marker.
struct UprightMarkers {
    Bytes exif;
    Bytes xmp; // empty: keep the source's XMP marker as it is
};
bool MakeUprightMarkers(const MetadataSource& source, bool transposed, UprightMarkers& markers,
                        std::string& error);

// The prefixes that name the two kinds of APP1 marker.
inline constexpr char kExifMarkerPrefix[] = "Exif\0"; // the name and two zero bytes
inline constexpr std::size_t kExifMarkerPrefixSize = sizeof kExifMarkerPrefix;
inline constexpr char kXmpMarkerPrefix[] = "http://ns.adobe.com/xap/1.0/"; // and a zero byte
inline constexpr std::size_t kXmpMarkerPrefixSize = sizeof kXmpMarkerPrefix; // with the zero

} // namespace quaylet::imageprep
