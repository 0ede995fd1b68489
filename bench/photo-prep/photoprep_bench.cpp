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
//   photoprep_bench encodings <upright> <box> <directory>
//       Scales an upright photo into the box as MakeUploadImage does and
//       writes the same pixels with each encoding below, as
//       <directory>/<encoding>.jpg; prints per encoding its bytes and the
//       median milliseconds to encode it and to decode it again.
//   photoprep_bench clean <upright>
//       The same for a full-size quality-100 copy, with standard and with
//       fitted Huffman tables.

#include "media/imageprep.h"
#include "media/imageprep_codec.h"
#include "media/imageprep_jpegencode.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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
    const std::string upright = quaylet::RotateToUpright(source, box);
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

using quaylet::imageprep::Bytes;
using quaylet::imageprep::JpegEncoding;

struct NamedEncoding {
    const char* name;
    JpegEncoding encoding;
};

// Every encoding at the scaled copy's quality: today's first, then 4:2:0,
// fitted tables and progressive coding (which always fits its tables).
const NamedEncoding kEncodings[] = {
    {"444", {quaylet::kScaledCopyQuality, false, false, false}},
    {"444-opt", {quaylet::kScaledCopyQuality, false, true, false}},
    {"444-prog", {quaylet::kScaledCopyQuality, false, true, true}},
    {"420", {quaylet::kScaledCopyQuality, true, false, false}},
    {"420-opt", {quaylet::kScaledCopyQuality, true, true, false}},
    {"420-prog", {quaylet::kScaledCopyQuality, true, true, true}},
};

constexpr int kRepeats = 5;

// Median milliseconds of `repeats` calls; false when a call fails.
bool medianMs(int repeats, const std::function<bool()>& call, double& ms)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!call())
            return false;
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    ms = times[times.size() / 2];
    return true;
}

bool decodeUpright(const std::string& path, QImage& image)
{
    std::string error;
    quaylet::imageprep::SourceImage source;
    if (!quaylet::imageprep::OpenSourceImage(path, source, error)
        || (image = quaylet::imageprep::DecodeImage(source, {}, error)).isNull()) {
        std::fprintf(stderr, "photoprep_bench: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Encodes `image` `kRepeats` times and decodes the result as often; prints
// "<name> <bytes> <encode ms> <decode ms>".
bool measure(const char* name, const QImage& image, const JpegEncoding& encoding, const std::string& output)
{
    Bytes bytes;
    std::string error;
    double encodeMs = 0, decodeMs = 0;
    if (!medianMs(kRepeats, [&] { return quaylet::imageprep::EncodeJpeg(image, encoding, bytes, error); }, encodeMs)
        || !quaylet::imageprep::WriteWholeFile(output, bytes, error)) {
        std::fprintf(stderr, "photoprep_bench: %s: %s\n", name, error.c_str());
        return false;
    }
    QImage decoded;
    if (!medianMs(kRepeats, [&] { return decodeUpright(output, decoded); }, decodeMs))
        return false;
    std::printf("%s %zu %.2f %.2f\n", name, bytes.size(), encodeMs, decodeMs);
    return true;
}

int encodings(const std::string& upright, int box, const std::string& directory)
{
    quaylet::imageprep::SourceImage source;
    std::string error;
    if (!quaylet::imageprep::OpenSourceImage(upright, source, error)) {
        std::fprintf(stderr, "photoprep_bench: %s: %s\n", upright.c_str(), error.c_str());
        return 1;
    }
    const quaylet::ImageSize target = quaylet::UploadTargetSize(source.size, box, box);
    const QImage image = quaylet::imageprep::DecodeImageScaled(source, target, error);
    if (image.isNull()) {
        std::fprintf(stderr, "photoprep_bench: %s: %s\n", upright.c_str(), error.c_str());
        return 1;
    }
    for (const NamedEncoding& e : kEncodings)
        if (!measure(e.name, image, e.encoding, directory + "/" + e.name + ".jpg"))
            return 1;
    return 0;
}

int clean(const std::string& upright)
{
    QImage image;
    if (!decodeUpright(upright, image))
        return 1;
    const std::string output = std::filesystem::temp_directory_path() / "photoprep-clean.jpg";
    const bool done = measure("clean-444", image, {quaylet::kCleanCopyQuality, false, false, false}, output)
                      && measure("clean-444-opt", image, {quaylet::kCleanCopyQuality, false, true, false}, output);
    std::filesystem::remove(output);
    return done ? 0 : 1;
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
    if (mode == "encodings" && argc == 5)
        return encodings(argv[2], std::atoi(argv[3]), argv[4]);
    if (mode == "clean" && argc == 3)
        return clean(argv[2]);
    std::fprintf(stderr, "usage: photoprep_bench prepare <source> <box> <output>\n"
                         "       photoprep_bench upright <source> <output>\n"
                         "       photoprep_bench orient <source> <output> <value>\n"
                         "       photoprep_bench encodings <upright> <box> <directory>\n"
                         "       photoprep_bench clean <upright>\n");
    return 2;
}
