#include "media/imageprep_exif.h"

#include <exiv2/exiv2.hpp>

#include <exception>
#include <mutex>
#include <sys/stat.h>

namespace quaylet::imageprep {

namespace {

// Guards the XMP toolkit's global state, which exiv2 shares between threads.
std::mutex g_xmpMutex;

void lockXmp(void* data, bool lock)
{
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

// exiv2 must initialise its XMP toolkit once before any thread parses XMP. Its
// own warnings about odd tags would otherwise go to standard error for every
// such photo; the operations here report what matters to their callers.
void initialiseExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmp, &g_xmpMutex);
    });
}

Exiv2::Image::AutoPtr openImage(const MetadataSource& source)
{
    if (source.bytes)
        return Exiv2::ImageFactory::open(source.bytes->data(), static_cast<long>(source.bytes->size()));
    // Only regular files: opening a FIFO with a photo's name would block.
    struct stat st {};
    if (::stat(source.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed, source.path, "not a regular file");
    // A FileIo takes the path's bytes as they are; opening by path would read
    // "-" as standard input and a name like "http://..." as a remote file.
    Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo(source.path));
    return Exiv2::ImageFactory::open(io);
}

// Tags that describe the strips and tiles of a TIFF file; they mean nothing
// (or something wrong) in the EXIF block of a JPEG copy.
constexpr const char* kTiffLayoutTags[] = {
    "Exif.Image.ImageWidth",          "Exif.Image.ImageLength",
    "Exif.Image.BitsPerSample",       "Exif.Image.Compression",
    "Exif.Image.PhotometricInterpretation", "Exif.Image.StripOffsets",
    "Exif.Image.SamplesPerPixel",     "Exif.Image.RowsPerStrip",
    "Exif.Image.StripByteCounts",     "Exif.Image.PlanarConfiguration",
    "Exif.Image.TileWidth",           "Exif.Image.TileLength",
    "Exif.Image.TileOffsets",         "Exif.Image.TileByteCounts",
    "Exif.Image.SubIFDs",             "Exif.Image.ExtraSamples",
    "Exif.Image.SampleFormat",        "Exif.Image.Predictor",
};

void eraseKey(Exiv2::ExifData& exif, const char* key)
{
    auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it != exif.end())
        exif.erase(it);
}

void swapValues(Exiv2::ExifData& exif, const char* keyA, const char* keyB)
{
    auto a = exif.findKey(Exiv2::ExifKey(keyA));
    auto b = exif.findKey(Exiv2::ExifKey(keyB));
    if (a == exif.end() || b == exif.end())
        return;
    Exiv2::Value::AutoPtr valueA = a->getValue();
    Exiv2::Value::AutoPtr valueB = b->getValue();
    a->setValue(valueB.get());
    b->setValue(valueA.get());
}

} // namespace

std::optional<int> ReadOrientation(const MetadataSource& source)
{
    try {
        initialiseExiv2();
        Exiv2::Image::AutoPtr image = openImage(source);
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (it == exif.end() || it->typeId() != Exiv2::unsignedShort || it->count() < 1)
            return std::nullopt;
        return static_cast<int16_t>(static_cast<uint16_t>(it->toLong(0)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> ReadDateTakenText(const std::string& path)
{
    try {
        initialiseExiv2();
        Exiv2::Image::AutoPtr image = openImage(MetadataSource{path});
        if (!image.get())
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (it == exif.end() || it->typeId() != Exiv2::asciiString)
            return std::nullopt;
        return it->toString();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

struct UprightMetadata {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
    Exiv2::ByteOrder byteOrder = Exiv2::littleEndian;
    bool xmpOrientation = false;
};

// The source's metadata as the upright copy carries it.
UprightMetadata uprightMetadata(const MetadataSource& source, bool transposed)
{
    initialiseExiv2();
    Exiv2::Image::AutoPtr from = openImage(source);
    from->readMetadata();
    UprightMetadata metadata{from->exifData(), from->iptcData(), from->xmpData(), from->byteOrder()};
    if (metadata.byteOrder == Exiv2::invalidByteOrder)
        metadata.byteOrder = Exiv2::littleEndian;
    Exiv2::ExifData& exif = metadata.exif;
    exif["Exif.Image.Orientation"] = uint16_t{1};
    if (transposed)
        swapValues(exif, "Exif.Photo.PixelXDimension", "Exif.Photo.PixelYDimension");
    for (const char* key : kTiffLayoutTags)
        eraseKey(exif, key);
    Exiv2::ExifThumb(exif).erase();
    const auto xmpOrientation = metadata.xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
    if (xmpOrientation != metadata.xmp.end()) {
        xmpOrientation->setValue("1");
        metadata.xmpOrientation = true;
    }
    return metadata;
}

} // namespace

bool MakeUprightMarkers(const MetadataSource& source, bool transposed, UprightMarkers& markers,
                        std::string& error)
{
    // A marker holds at most 65533 bytes after its length field.
    constexpr std::size_t kMarkerCapacity = 65533;
    try {
        const UprightMetadata metadata = uprightMetadata(source, transposed);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, metadata.byteOrder, metadata.exif);
        markers.exif.assign(kExifMarkerPrefix, kExifMarkerPrefix + kExifMarkerPrefixSize);
        markers.exif.insert(markers.exif.end(), blob.begin(), blob.end());
        markers.xmp.clear();
        if (metadata.xmpOrientation) {
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, metadata.xmp, Exiv2::XmpParser::useCompactFormat) != 0) {
                error = "metadata: XMP cannot be written";
                return false;
            }
            markers.xmp.assign(kXmpMarkerPrefix, kXmpMarkerPrefix + kXmpMarkerPrefixSize);
            markers.xmp.insert(markers.xmp.end(), packet.begin(), packet.end());
        }
        if (blob.empty() || markers.exif.size() > kMarkerCapacity || markers.xmp.size() > kMarkerCapacity) {
            error = "metadata: too large for a marker";
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = std::string("metadata: ") + e.what();
        return false;
    }
}

bool WriteUprightMetadata(const MetadataSource& source, bool transposed, Bytes& jpeg,
                          std::string& error)
{
    try {
        const UprightMetadata metadata = uprightMetadata(source, transposed);
        const Exiv2::ExifData& exif = metadata.exif;
        const Exiv2::IptcData& iptc = metadata.iptc;
        const Exiv2::XmpData& xmp = metadata.xmp;

        Exiv2::Image::AutoPtr to = Exiv2::ImageFactory::open(jpeg.data(), static_cast<long>(jpeg.size()));
        to->readMetadata(); // keeps what the copy already carries (comment, colour profile)
        to->setExifData(exif);
        to->setIptcData(iptc);
        to->setXmpData(xmp);
        to->writeMetadata();

        Exiv2::BasicIo& io = to->io();
        if (io.open() != 0)
            throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed, "memory");
        Bytes written(io.size());
        io.seek(0, Exiv2::BasicIo::beg);
        if (io.read(written.data(), static_cast<long>(written.size())) != static_cast<long>(written.size()))
            throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
        io.close();
        jpeg.swap(written);
        return true;
    } catch (const std::exception& e) {
        error = std::string("metadata: ") + e.what();
        return false;
    }
}

} // namespace quaylet::imageprep
