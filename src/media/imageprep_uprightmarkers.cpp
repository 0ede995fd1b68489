#include "media/imageprep_uprightmarkers.h"

#include "media/imageprep_exif.h"

#include <string>
#include <utility>

namespace quaylet::imageprep {

std::vector<MarkerReplacement> UprightMarkerReplacements(const SourceImage& source, bool transposing)
{
    std::vector<MarkerReplacement> replacements;
    UprightMarkers markers;
    std::string error;
    const MetadataSource metadata{source.path, &source.bytes};
    if (MakeUprightMarkers(metadata, transposing, markers, error)) {
        constexpr int kApp1 = 0xE1;
        replacements.push_back({kApp1, std::string(kExifMarkerPrefix, kExifMarkerPrefixSize), std::move(markers.exif)});
        if (!markers.xmp.empty())
            replacements.push_back({kApp1, std::string(kXmpMarkerPrefix, kXmpMarkerPrefixSize), std::move(markers.xmp)});
    }
    return replacements;
}

} // namespace quaylet::imageprep
