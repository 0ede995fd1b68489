// Bench driver for photo preparation, one preparation per process so that the
// script can time it like the other command-line tools.
//
//   photoprep_bench prepare <source> <box> <output>
//       RotateToUpright, then MakeUploadImage for a box x box box; the
//       prepared file is copied to <output>.
//   photoprep_bench upright <source> <output>
//       RotateToUpright alone; the upright copy is copied to <output>.
//   photoprep_bench orient <source> <output> <value>
//       Copies a JPEG with its EXIF orientation tag set to <value>.

#include "media/imageprep.h"

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace {

bool copyTo(const std::string& file, const std::string& output)
{
    std::error_code ec;
    std::filesystem::copy_file(file, output, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
        std::fprintf(stderr, "photoprep_bench: %s\n", ec.message().c_str());
    return !ec;
}

int upright(const std::string& source, const std::string& output)
{
    const std::string copy = quaylet::RotateToUpright(source);
    if (copy.empty()) {
        std::fprintf(stderr, "photoprep_bench: no upright copy of %s\n", source.c_str());
        return 1;
    }
    return copyTo(copy, output) ? 0 : 1;
}

int prepare(const std::string& source, int box, const std::string& output)
{
    std::string current = source;
    const std::string upright = quaylet::RotateToUpright(source);
    if (!upright.empty())
        current = upright;
    const std::string prepared = quaylet::MakeUploadImage(current, box, box);
    if (prepared.empty()) {
        std::fprintf(stderr, "photoprep_bench: %s could not be prepared\n", source.c_str());
        return 1;
    }
    return copyTo(prepared, output) ? 0 : 1;
}

int orient(const std::string& source, const std::string& output, int value)
{
    try {
        std::filesystem::copy_file(source, output, std::filesystem::copy_options::overwrite_existing);
        auto image = Exiv2::ImageFactory::open(output);
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        exif["Exif.Image.Orientation"] = static_cast<uint16_t>(value);
        exif["Exif.Photo.DateTimeOriginal"] = std::string("2010:06:15 14:30:00");
        image->setExifData(exif);
        image->writeMetadata();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "photoprep_bench: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "prepare" && argc == 5)
        return prepare(argv[2], std::atoi(argv[3]), argv[4]);
    if (mode == "upright" && argc == 4)
        return upright(argv[2], argv[3]);
    if (mode == "orient" && argc == 5)
        return orient(argv[2], argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "usage: photoprep_bench prepare <source> <box> <output>\n"
                         "       photoprep_bench upright <source> <output>\n"
                         "       photoprep_bench orient <source> <output> <value>\n");
    return 2;
}
