// Photo preparation on real files: images are drawn and encoded here, tags
// written with exiv2, and every result decoded again.

#include "media/imageprep.h"

#include "core/logfile.h"
#include "media/imageprep_codec.h"
#include "media/imageprep_jpegencode.h"
#include "media/imageprep_jpegerror.h"
#include "media/imageprep_jpegturn.h"
#include "media/imageprep_packedblocks.h"
#include "media/imageprep_perfectturn.h"
#include "media/imageprep_resample.h"
#include "platform/tempdir.h"
#include "jpeglayouts.h"
#include "support/sandbox.h"

#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quaylet {
namespace {

using test::ReadFile;
using test::SandboxPath;
using test::WriteFile;

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string cleanCopy() { return platform::TempPath() + "temp_clean.image"; }
std::string scaledCopy() { return platform::TempPath() + "temp_thumbnail.image"; }

// Four flat quadrants: red top left, green top right, blue bottom left, yellow
// bottom right. Every turn and mirror of it looks different.
const QColor kTopLeft(255, 0, 0), kTopRight(0, 255, 0), kBottomLeft(0, 0, 255), kBottomRight(255, 255, 0);

QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const QColor& c = bottom ? (right ? kBottomRight : kBottomLeft) : (right ? kTopRight : kTopLeft);
            image.setPixel(x, y, c.rgb());
        }
    return image;
}

std::string save(const QImage& image, const std::string& name, const char* format = "jpeg", int quality = 100)
{
    const std::string path = SandboxPath(name);
    QImageWriter writer(QString::fromStdString(path), format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << name << ": " << writer.errorString().toStdString();
    return path;
}

// Qt reads GIF but does not write it: an uncompressed GIF (7-bit LZW codes
// written one per byte, the table cleared before the codes grow to 9 bits).
std::string saveGif(const QImage& image, const std::string& name)
{
    const QList<QRgb> palette = {kTopLeft.rgb(), kTopRight.rgb(), kBottomLeft.rgb(), kBottomRight.rgb()};
    auto le16 = [](std::string& out, int v) { out += static_cast<char>(v & 0xFF); out += static_cast<char>(v >> 8); };
    std::string gif = "GIF89a";
    le16(gif, image.width());
    le16(gif, image.height());
    gif += std::string("\xF6\x00\x00", 3); // a global table of 128 colours
    for (int i = 0; i < 128; ++i) {
        const QRgb c = palette.value(i, qRgb(0, 0, 0));
        gif += static_cast<char>(qRed(c));
        gif += static_cast<char>(qGreen(c));
        gif += static_cast<char>(qBlue(c));
    }
    gif += '\x2C';
    le16(gif, 0);
    le16(gif, 0);
    le16(gif, image.width());
    le16(gif, image.height());
    gif += '\x00';
    gif += '\x07';
    std::string codes;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (codes.size() % 101 == 0)
                codes += static_cast<char>(128); // clear
            codes += static_cast<char>(palette.indexOf(image.pixel(x, y)));
        }
    codes += static_cast<char>(129); // end of information
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::string block = codes.substr(at, 255);
        gif += static_cast<char>(block.size());
        gif += block;
    }
    gif += std::string("\x00\x3B", 2);
    const std::string path = SandboxPath(name);
    WriteFile(path, gif);
    return path;
}

void editExif(const std::string& path, const std::function<void(Exiv2::ExifData&)>& edit)
{
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    edit(exif);
    image->setExifData(exif);
    image->writeMetadata();
}

void setOrientation(const std::string& path, uint16_t value)
{
    editExif(path, [value](Exiv2::ExifData& exif) { exif["Exif.Image.Orientation"] = value; });
}

void setDateTaken(const std::string& path, const std::string& text)
{
    editExif(path, [&](Exiv2::ExifData& exif) { exif["Exif.Photo.DateTimeOriginal"] = text; });
}

std::optional<int64_t> exifInt(const std::string& path, const char* key)
{
    auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    const auto it = image->exifData().findKey(Exiv2::ExifKey(key));
    if (it == image->exifData().end())
        return std::nullopt;
    return it->toLong(0);
}

QImage load(const std::string& path, bool autoTransform = false)
{
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(autoTransform);
    return reader.read();
}

bool isJpegFile(const std::string& path)
{
    const std::string bytes = ReadFile(path);
    return bytes.size() > 3 && bytes.compare(0, 3, "\xFF\xD8\xFF") == 0;
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48
        && std::abs(a.blue() - b.blue()) < 48;
}

// Compares the centres of the four quadrants, which is where a wrong turn or
// mirror shows.
void expectSameQuadrants(const QImage& actual, const QImage& expected, const std::string& what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    const int w = actual.width(), h = actual.height();
    for (const auto& [x, y] : {std::pair{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}})
        EXPECT_TRUE(near(actual.pixelColor(x, y), expected.pixelColor(x, y)))
            << what << " at " << x << "," << y << ": " << actual.pixelColor(x, y).name().toStdString()
            << " expected " << expected.pixelColor(x, y).name().toStdString();
}

// ---------------------------------------------------------------------------
// Target size and the prepared file

TEST(UploadTargetSize, SingleFloatRatiosAndTruncation)
{
    struct Case { int w, h, box, outW, outH; };
    const Case cases[] = {
        {441, 300, 800, 799, 544},    {441, 300, 1500, 1499, 1020}, {2592, 1944, 800, 799, 599},
        {4000, 3000, 800, 800, 600},  {4000, 3000, 1500, 1500, 1125}, {3000, 2000, 800, 800, 533},
        {3000, 2000, 1500, 1500, 1000}, {2000, 100, 800, 800, 40},  {600, 400, 800, 800, 533},
        {6000, 4000, 800, 800, 533},  {4000, 6000, 800, 533, 800},  {100, 2000, 800, 40, 800},
        {500, 300, 800, 800, 480},    {20000, 1, 800, 799, 1}, // 0.04f is a little less than 0.04;
                                                               // a side truncated to 0 keeps one pixel
    };
    for (const Case& c : cases)
        EXPECT_EQ(UploadTargetSize({c.w, c.h}, c.box, c.box), (ImageSize{c.outW, c.outH}))
            << c.w << " x " << c.h << " in " << c.box;
}

// What libjpeg reads from a prepared file: its sampling factors, and its size
// beside the same coefficients written with the standard Huffman tables,
// which only tables fitted to the picture beat.
struct JpegLayout {
    int samplingH[3] = {};
    int samplingV[3] = {};
    std::size_t bytes = 0;
    std::size_t withStandardTables = 0;
};

struct Transcoder {
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    imageprep::JpegErrorManager inErrors, outErrors;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Transcoder() = default;
    Q_DISABLE_COPY_MOVE(Transcoder)
    ~Transcoder()
    {
        jpeg_destroy_compress(&out);
        jpeg_destroy_decompress(&in);
        std::free(buffer);
    }
};

std::optional<JpegLayout> jpegLayout(const std::string& path)
{
    const std::string bytes = ReadFile(path);
    Transcoder t;
    std::jmp_buf jump;
    t.inErrors.jump = t.outErrors.jump = &jump;
    if (setjmp(jump) != 0) {
        ADD_FAILURE() << path << ": " << t.inErrors.message << t.outErrors.message;
        return std::nullopt;
    }
    t.in.err = imageprep::UseJpegErrors(t.inErrors);
    jpeg_create_decompress(&t.in);
    jpeg_mem_src(&t.in, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&t.in, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&t.in);
    t.out.err = imageprep::UseJpegErrors(t.outErrors);
    jpeg_create_compress(&t.out);
    jpeg_mem_dest(&t.out, &t.buffer, &t.size);
    jpeg_copy_critical_parameters(&t.in, &t.out); // the standard tables come with it
    t.out.optimize_coding = FALSE;
    jpeg_write_coefficients(&t.out, coefficients);
    jpeg_finish_compress(&t.out);
    JpegLayout layout;
    for (int i = 0; i < 3 && i < t.in.num_components; ++i) {
        layout.samplingH[i] = t.in.comp_info[i].h_samp_factor;
        layout.samplingV[i] = t.in.comp_info[i].v_samp_factor;
    }
    layout.bytes = bytes.size();
    layout.withStandardTables = t.size;
    return layout;
}

// The clean copy keeps every chroma sample; the scaled copy, which is what
// crosses the uplink, is 4:2:0 with fitted tables, also where its chroma
// rows and columns are not whole blocks.
void expectEncodingOfCopy(const std::string& path, bool clean, const std::string& what)
{
    const std::optional<JpegLayout> layout = jpegLayout(path);
    ASSERT_TRUE(layout) << what;
    const int luma = clean ? 1 : 2;
    EXPECT_EQ(layout->samplingH[0], luma) << what;
    EXPECT_EQ(layout->samplingV[0], luma) << what;
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(layout->samplingH[i], 1) << what;
        EXPECT_EQ(layout->samplingV[i], 1) << what;
    }
    if (clean)
        EXPECT_EQ(layout->bytes, layout->withStandardTables) << what;
    else
        EXPECT_LT(layout->bytes, layout->withStandardTables) << what;
}

TEST(MakeUploadImage, SizesOfRealImages)
{
    struct Case { int w, h, box, outW, outH; bool clean; };
    const Case cases[] = {
        {440, 440, 800, 440, 440, true},  {300, 200, 1500, 300, 200, true},
        {441, 300, 800, 799, 544, false}, {441, 300, 1500, 1499, 1020, false},
        {2592, 1944, 800, 799, 599, false}, {3000, 2000, 1500, 1500, 1000, false},
        {2000, 100, 800, 800, 40, false}, {600, 400, 800, 800, 533, false},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.w) + " x " + std::to_string(c.h) + " in " + std::to_string(c.box);
        const std::string source = save(quadrants(c.w, c.h), "source.jpg", "jpeg", 95);
        const std::string result = MakeUploadImage(source, c.box, c.box);
        EXPECT_EQ(result, c.clean ? cleanCopy() : scaledCopy()) << what;
        // Only the file that is the result exists: no quality-100 copy of a large image.
        EXPECT_FALSE(exists(c.clean ? scaledCopy() : cleanCopy())) << what;
        ASSERT_TRUE(isJpegFile(result)) << what;
        const QImage prepared = load(result);
        EXPECT_EQ(prepared.size(), QSize(c.outW, c.outH)) << what;
        if (c.outH > 100)
            expectSameQuadrants(prepared, quadrants(c.outW, c.outH), what);
        // The last pixel of an odd side lies in a chroma block of its own.
        EXPECT_TRUE(near(prepared.pixelColor(c.outW - 1, c.outH - 1), kBottomRight)) << what;
        expectEncodingOfCopy(result, c.clean, what);
    }
}

// libjpeg's refusal comes back as an error, with its objects released (the
// sanitizer build checks the leak).
TEST(EncodeJpeg, WiderThanJpegAllowsIsAnError)
{
    QImage wide(65501, 1, QImage::Format_RGB32);
    wide.fill(Qt::gray);
    imageprep::Bytes out;
    std::string error;
    EXPECT_FALSE(imageprep::EncodeJpeg(wide, {90, true, true, false}, out, error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
}

TEST(MakeUploadImage, OtherFormatsBecomeJpeg)
{
    QImage transparent = quadrants(500, 300).convertToFormat(QImage::Format_ARGB32);
    transparent.fill(Qt::transparent);
    const struct { const char* format; QImage image; QSize out; QColor centre; } cases[] = {
        {"png", quadrants(500, 300), {800, 480}, kBottomRight},
        {"png", transparent, {800, 480}, QColor(Qt::white)}, // transparent parts go on white
        {"gif", quadrants(400, 200), {400, 200}, kBottomRight},
        {"bmp", quadrants(900, 450), {800, 400}, kBottomRight},
        {"tiff", quadrants(1000, 500), {800, 400}, kBottomRight},
    };
    for (const auto& c : cases) {
        const std::string name = std::string("source.") + c.format;
        const std::string source = std::string(c.format) == "gif" ? saveGif(c.image, name) : save(c.image, name, c.format);
        const std::string result = MakeUploadImage(source, 800, 800);
        ASSERT_FALSE(result.empty()) << c.format;
        EXPECT_TRUE(isJpegFile(result)) << c.format;
        const QImage prepared = load(result);
        EXPECT_EQ(prepared.size(), c.out) << c.format;
        EXPECT_TRUE(near(prepared.pixelColor(3 * c.out.width() / 4, 3 * c.out.height() / 4), c.centre)) << c.format;
    }
}

// ---------------------------------------------------------------------------
// Upright copies

// Each orientation against Qt's own reading of the tag, on a JPEG whose
// blocks allow the lossless turn, one whose edges are partial blocks, and one
// with odd sides.
TEST(RotateToUpright, EveryOrientationOnRealPixels)
{
    for (const QSize size : {QSize(64, 32), QSize(66, 34), QSize(65, 33)}) {
        for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
            const std::string what = std::to_string(size.width()) + " x " + std::to_string(size.height())
                                     + ", orientation " + std::to_string(orientation);
            const std::string source = save(quadrants(size.width(), size.height()),
                                            "o" + std::to_string(orientation) + ".jpg");
            setOrientation(source, orientation);
            const std::string copy = RotateToUpright(source);
            if (orientation == 1) {
                EXPECT_EQ(copy, "") << what;
                continue;
            }
            ASSERT_FALSE(copy.empty()) << what;
            EXPECT_TRUE(isJpegFile(copy)) << what;
            EXPECT_EQ(exifInt(copy, "Exif.Image.Orientation"), 1) << what;
            expectSameQuadrants(load(copy), load(source, true), what);
            // Viewers that honour the tag show the copy as it is.
            expectSameQuadrants(load(copy, true), load(copy), what);
        }
    }
}

TEST(RotateToUpright, TiffSourceBecomesUprightJpeg)
{
    const std::string source = save(quadrants(64, 32), "turned.tif", "tiff");
    editExif(source, [](Exiv2::ExifData& exif) {
        exif["Exif.Image.Orientation"] = uint16_t{5};
        exif["Exif.Photo.DateTimeOriginal"] = std::string("2010:06:15 14:30:00");
    });
    const std::string copy = RotateToUpright(source);
    ASSERT_FALSE(copy.empty());
    EXPECT_TRUE(isJpegFile(copy));
    expectSameQuadrants(load(copy), load(source, true), "tiff, orientation 5");
    EXPECT_EQ(exifInt(copy, "Exif.Image.Orientation"), 1);
    EXPECT_EQ(exifInt(copy, "Exif.Image.ImageWidth"), std::nullopt); // the TIFF's layout stays behind
    EXPECT_EQ(GetDateTaken(copy), GetDateTaken(source));
}

TEST(RotateToUpright, CounterNamesAndLogLines)
{
    OpenLog(SandboxPath("Quaylet.log"));
    const std::string plain = save(quadrants(64, 32), "plain.jpg");
    const std::string turned = save(quadrants(64, 32), "turned.jpg");
    setOrientation(turned, 6);
    const std::string upright = save(quadrants(64, 32), "upright.jpg");
    setOrientation(upright, 1);

    EXPECT_EQ(RotateToUpright(plain), "");                                // TR1: no tag
    EXPECT_EQ(RotateToUpright(turned), platform::TempPath() + "TR2.jpeg");
    EXPECT_EQ(RotateToUpright(upright), "");                              // TR3: value 1
    EXPECT_EQ(RotateToUpright(turned), platform::TempPath() + "TR4.jpeg");
    EXPECT_FALSE(exists(platform::TempPath() + "TR1.jpeg"));
    EXPECT_FALSE(exists(platform::TempPath() + "TR3.jpeg"));

    const std::string log = ReadFile(SandboxPath("Quaylet.log"));
    EXPECT_NE(log.find("No orientation info present for " + plain), std::string::npos) << log;
    EXPECT_NE(log.find("orientation for " + turned + " is 6"), std::string::npos) << log;
    EXPECT_NE(log.find("orientation for " + upright + " is 1"), std::string::npos) << log;
}

TEST(RotateToUpright, ValuesOutsideTheTableAndWrongTypesWriteNoCopy)
{
    const std::string source = save(quadrants(64, 32), "odd.jpg");
    for (uint16_t value : {0, 9, 65535}) { // 65535 is -1 as a signed SHORT
        setOrientation(source, value);
        EXPECT_EQ(RotateToUpright(source), "") << value;
    }
    editExif(source, [](Exiv2::ExifData& exif) {
        exif["Exif.Image.Orientation"] = uint32_t{6}; // LONG, not SHORT
    });
    EXPECT_EQ(RotateToUpright(source), "");
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(exists(platform::TempPath() + "TR" + std::to_string(n) + ".jpeg"));
}

// On a photo whose blocks line up after the turn and on one whose chroma
// blocks do not (4:2:0, 40 rows: 20 chroma rows).
TEST(RotateToUpright, CopyKeepsTheDateAndRecordsItsOwnShape)
{
    for (const int height : {32, 40}) {
        const std::string what = "64 x " + std::to_string(height);
        const std::string source =
            save(quadrants(64, height), "dated" + std::to_string(height) + ".jpg", "jpeg", 90);
        editExif(source, [height](Exiv2::ExifData& exif) {
            exif["Exif.Image.Orientation"] = uint16_t{6};
            exif["Exif.Photo.DateTimeOriginal"] = std::string("2010:06:15 14:30:00");
            exif["Exif.Photo.PixelXDimension"] = uint16_t{64};
            exif["Exif.Photo.PixelYDimension"] = static_cast<uint16_t>(height);
        });
        {
            auto image = Exiv2::ImageFactory::open(source);
            image->readMetadata();
            Exiv2::XmpData xmp = image->xmpData();
            xmp["Xmp.tiff.Orientation"] = "6";
            image->setXmpData(xmp);
            image->writeMetadata();
        }
        const std::string copy = RotateToUpright(source);
        ASSERT_FALSE(copy.empty()) << what;
        EXPECT_EQ(load(copy).size(), QSize(height, 64)) << what;
        expectSameQuadrants(load(copy), load(source, true), what);
        EXPECT_EQ(exifInt(copy, "Exif.Image.Orientation"), 1) << what;
        const std::string bytes = ReadFile(copy);
        const std::string exifMarker("Exif\0\0", 6);
        EXPECT_NE(bytes.find(exifMarker), std::string::npos) << what;
        EXPECT_EQ(bytes.find(exifMarker, bytes.find(exifMarker) + 1), std::string::npos)
            << what << ": one EXIF block";
        {
            auto image = Exiv2::ImageFactory::open(copy);
            image->readMetadata();
            const auto it = image->xmpData().findKey(Exiv2::XmpKey("Xmp.tiff.Orientation"));
            ASSERT_NE(it, image->xmpData().end()) << what;
            EXPECT_EQ(it->toString(), "1") << what;
        }
        EXPECT_EQ(exifInt(copy, "Exif.Photo.PixelXDimension"), height) << what;
        EXPECT_EQ(exifInt(copy, "Exif.Photo.PixelYDimension"), 64) << what;
        ASSERT_TRUE(GetDateTaken(source).has_value()) << what;
        EXPECT_EQ(GetDateTaken(copy), GetDateTaken(source)) << what;
    }
}

// Quadrants with grain, so that a misplaced block or sample shows.
QImage noisyQuadrants(int width, int height)
{
    QImage noisy = quadrants(width, height);
    uint32_t seed = 12345;
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const QColor c = noisy.pixelColor(x, y);
            const int d = static_cast<int>(seed >> 27) - 16;
            noisy.setPixelColor(x, y,
                                QColor(std::clamp(c.red() + d, 0, 255), std::clamp(c.green() - d, 0, 255),
                                       std::clamp(c.blue() + d, 0, 255)));
        }
    return noisy;
}

imageprep::Bytes bytesOf(const std::string& path)
{
    const std::string bytes = ReadFile(path);
    return imageprep::Bytes(bytes.begin(), bytes.end());
}

QImage decodeJpeg(const imageprep::Bytes& bytes)
{
    return QImage::fromData(
               QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
               "jpeg")
        .convertToFormat(QImage::Format_RGB32);
}

struct NamedJpeg {
    std::string name;
    imageprep::Bytes bytes;
};

// The picture as JPEG files of the usual layouts: 4:4:4, 4:2:0 and grey.
std::vector<NamedJpeg> usualLayouts(const QImage& picture)
{
    imageprep::Bytes full;
    std::string error;
    EXPECT_TRUE(imageprep::EncodeJpeg(picture, {95}, full, error)) << error;
    return {{"4:4:4", full},
            {"4:2:0", bytesOf(save(picture, "420.jpg", "jpeg", 90))},
            {"grey", bytesOf(save(picture.convertToFormat(QImage::Format_Grayscale8), "grey.jpg"))}};
}

// The coefficient turn of `jpeg`, as written to its file.
bool turnJpeg(const imageprep::Bytes& jpeg, int orientation, imageprep::Bytes& out, std::string& error)
{
    const std::string path = SandboxPath("turned.jpg");
    imageprep::OutputFile file(path);
    return file.open(error) && imageprep::TurnJpegToFile(jpeg, orientation, file, error) && file.finish(error)
        && imageprep::ReadWholeFile(path, out, error);
}

// Peak signal to noise ratio over the three colours, in dB.
double psnr(const QImage& a, const QImage& b)
{
    EXPECT_EQ(a.size(), b.size());
    if (a.size() != b.size())
        return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += d * d;
        }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The coefficient turn gives exactly libjpeg-turbo's lossless turn for the
// usual layouts of JPEG files.
TEST(RotateToUpright, OnePassTurnMatchesLibjpegTurbo)
{
    const QImage noisy = noisyQuadrants(320, 256); // more block rows than one batch of turned rows
    std::vector<NamedJpeg> sources = usualLayouts(noisy);
    imageprep::Bytes progressive;
    std::string error;
    ASSERT_TRUE(imageprep::EncodeJpeg(noisy, {90, true, true, true}, progressive, error)) << error;
    sources.push_back({"progressive 4:2:0", progressive}); // its blocks are not packed
    for (const auto& source : sources) {
        WriteFile(SandboxPath("source.jpg"), std::string(source.bytes.begin(), source.bytes.end()));
        for (int orientation = 2; orientation <= 8; ++orientation) {
            const std::string what = source.name + ", orientation " + std::to_string(orientation);
            imageprep::Bytes ours, theirs;
            ASSERT_TRUE(turnJpeg(source.bytes, orientation, ours, error)) << what << ": " << error;
            ASSERT_TRUE(imageprep::TurnJpegPerfectOnly(source.bytes, orientation, theirs, error)) << what;
            EXPECT_EQ(decodeJpeg(ours), decodeJpeg(theirs)) << what;
        }
    }
}

// A side that is not whole blocks and that the turn reverses (a 4000 x 3000
// photo with 4:2:0 sampling has 1500 chroma rows) cannot keep its blocks: the
// components concerned are turned through their samples, the others keep
// their coefficients. Every orientation gives the upright picture, within the
// error of quantising once more.
TEST(RotateToUpright, OnePassTurnOfPartialBlocks)
{
    const QImage noisy = noisyQuadrants(328, 248);
    imageprep::Bytes partialLuma;
    std::string error;
    ASSERT_TRUE(imageprep::EncodeJpeg(noisy.copy(0, 0, 90, 60), {95}, partialLuma, error)) << error;
    const NamedJpeg sources[] = {
        {"4:2:0, whole luma blocks, 164 x 124 chroma", bytesOf(save(noisy, "chroma.jpg", "jpeg", 90))},
        {"4:4:4, 90 x 60", partialLuma},
        {"4:2:0, 4000 x 3000 in small", bytesOf(save(noisy.copy(0, 0, 200, 152), "small.jpg", "jpeg", 92))},
    };
    for (const auto& source : sources) {
        const QImage decoded = decodeJpeg(source.bytes);
        for (int orientation = 2; orientation <= 8; ++orientation) {
            const std::string what = source.name + ", orientation " + std::to_string(orientation);
            imageprep::Bytes ours;
            ASSERT_TRUE(turnJpeg(source.bytes, orientation, ours, error)) << what << ": " << error;
            // About 50 dB here; a block or a chroma sample out of place
            // gives far less on grain.
            EXPECT_GE(psnr(decodeJpeg(ours), imageprep::TurnUpright(decoded, orientation)), 45) << what;
        }
    }
    // An odd side of a subsampled picture has no whole chroma sample at its
    // end: reversing it would move the colours off their pixels, so the turn
    // is refused (the copy is then made from decoded pixels).
    imageprep::Bytes turned;
    const imageprep::Bytes odd = bytesOf(save(noisy.copy(0, 0, 65, 33), "odd.jpg", "jpeg", 90));
    EXPECT_FALSE(turnJpeg(odd, 6, turned, error));
    EXPECT_TRUE(turnJpeg(odd, 5, turned, error)) << error; // no side reversed
}

// Packed blocks read back exactly, for every coefficient a JPEG can hold,
// across the chunks they are packed into; a row never kept reads as zeros.
TEST(PackedBlocks, ReadBackExactly)
{
    constexpr int kWidth = 97, kHeight = 90; // all coefficients wide: several chunks
    const JCOEF values[] = {0, 1, -1, 127, -127, -128, 128, 2047, -2048, 32767, -32768};
    std::vector<JBLOCK> row(kWidth);
    const auto expected = [&](int r, int col, int i) {
        if (r == 1)
            return static_cast<JCOEF>(values[static_cast<std::size_t>(col + i) % std::size(values)]);
        return static_cast<JCOEF>(((r * 7919 + col * 104729 + i * 1299709) % 65536) - 32768);
    };
    imageprep::PackedBlocks packed(kWidth, kHeight);
    for (int r = 0; r < kHeight - 1; ++r) { // the last row is never kept
        for (int col = 0; col < kWidth; ++col)
            for (int i = 0; i < DCTSIZE2; ++i)
                row[static_cast<std::size_t>(col)][i] = r == 0 ? 0 : expected(r, col, i);
        packed.keepRow(r, row.data());
    }
    JCOEF block[DCTSIZE2];
    for (int r = 0; r < kHeight; ++r)
        for (int col = 0; col < kWidth; ++col) {
            packed.read(r, col, block);
            for (int i = 0; i < DCTSIZE2; ++i)
                ASSERT_EQ(block[i], r == 0 || r == kHeight - 1 ? 0 : expected(r, col, i))
                    << "row " << r << ", block " << col << ", coefficient " << i;
        }
    packed.read(kHeight, 0, block);
    EXPECT_TRUE(std::all_of(block, block + DCTSIZE2, [](JCOEF c) { return c == 0; }));
}

// Scaling as the rows are decoded gives exactly the pixels of a whole decode
// at the same DCT scale followed by the scaler, whatever the sampling, the
// scale and the block averaging before the filter.
TEST(MakeUploadImage, ScalingWhileDecodingMatchesTheWholeDecode)
{
    const QImage noisy = noisyQuadrants(648, 488);
    std::vector<NamedJpeg> sources = usualLayouts(noisy);
    sources.push_back({"4:2:0, odd sides", bytesOf(save(noisy.copy(0, 0, 333, 251), "odd.jpg", "jpeg", 90))});
    std::string error;
    // The source's own size; a DCT scale of 1/2 and of 1/4; block averaging
    // before the filter; a result wider than the source.
    const ImageSize targets[] = {{0, 0}, {160, 120}, {81, 61}, {40, 30}, {7, 3}, {700, 90}};
    for (const auto& source : sources) {
        WriteFile(SandboxPath("source.jpg"), std::string(source.bytes.begin(), source.bytes.end()));
        imageprep::SourceImage opened;
        ASSERT_TRUE(imageprep::OpenSourceImage(SandboxPath("source.jpg"), opened, error)) << error;
        for (ImageSize target : targets) {
            if (target.width == 0)
                target = opened.size;
            const std::string what = source.name + " to " + std::to_string(target.width) + " x "
                                   + std::to_string(target.height);
            QImage whole = imageprep::DecodeImage(opened, {2 * target.width, 2 * target.height}, error);
            if (whole.size() != QSize(target.width, target.height))
                whole = imageprep::ResampleImage(whole, target.width, target.height);
            const QImage streamed = imageprep::DecodeImageScaled(opened, target, error);
            ASSERT_EQ(streamed.size(), QSize(target.width, target.height)) << what << ": " << error;
            EXPECT_EQ(streamed, whole) << what;
        }
    }
}

// A large turned JPEG is prepared from the pixels scaled for its box while it
// was turned; the result matches a preparation from the copy on disk, and a
// copy that was replaced meanwhile, or one prepared for another box, is read
// anew.
TEST(RotateToUpright, PreparingTheCopyAfterwards)
{
    const std::string source = save(quadrants(1024, 512), "large.jpg", "jpeg", 95);
    setOrientation(source, 6);
    const QImage expected =
        load(source, true).scaled(400, 800, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    const std::string copy = RotateToUpright(source, 800);
    ASSERT_FALSE(copy.empty());
    ASSERT_EQ(MakeUploadImage(copy, 800, 800), scaledCopy());
    const QImage first = load(scaledCopy());
    expectSameQuadrants(first, expected, "from the turn");
    ASSERT_EQ(MakeUploadImage(copy, 800, 800), scaledCopy());
    expectSameQuadrants(load(scaledCopy()), first, "from the file");

    ASSERT_EQ(RotateToUpright(source, 1500), platform::TempPath() + "TR2.jpeg");
    ASSERT_EQ(MakeUploadImage(platform::TempPath() + "TR2.jpeg", 800, 800), scaledCopy());
    expectSameQuadrants(load(scaledCopy()), first, "for another box");

    ASSERT_EQ(RotateToUpright(source, 800), platform::TempPath() + "TR3.jpeg");
    std::filesystem::copy_file(save(quadrants(900, 600), "other.jpg"), platform::TempPath() + "TR3.jpeg",
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(MakeUploadImage(platform::TempPath() + "TR3.jpeg", 800, 800), scaledCopy());
    expectSameQuadrants(load(scaledCopy()), quadrants(800, 533), "replaced copy");
}

// Every layout libjpeg decodes is turned and scaled, the copy of a turned one
// included: a 4:1:1 photo turned by a quarter becomes 1 x 4.
TEST(MakeUploadImage, EveryJpegLayoutIsTurnedAndScaled)
{
    const QImage picture = quadrants(480, 320);
    for (const test::JpegTestLayout& layout : test::EveryJpegLayout()) {
        for (const uint16_t orientation : {1, 6}) {
            const std::string what = layout.name + ", orientation " + std::to_string(orientation);
            const std::string source = SandboxPath("layout.jpg");
            const std::string bytes = test::EncodeJpegLayout(picture, layout);
            ASSERT_FALSE(bytes.empty()) << what;
            WriteFile(source, bytes);
            setOrientation(source, orientation);
            // Without a box the preparation reads the copy itself.
            const std::string copy = RotateToUpright(source);
            EXPECT_EQ(copy.empty(), orientation == 1) << what;
            ASSERT_EQ(MakeUploadImage(copy.empty() ? source : copy, 800, 800), scaledCopy()) << what;
            QImage shown = picture;
            for (int y = 0; layout.components == 1 && y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const int grey = qGray(shown.pixel(x, y));
                    shown.setPixel(x, y, qRgb(grey, grey, grey));
                }
            const QImage upright = imageprep::TurnUpright(shown, orientation);
            const ImageSize target = UploadTargetSize({upright.width(), upright.height()}, 800, 800);
            expectSameQuadrants(load(scaledCopy()),
                                upright.scaled(target.width, target.height, Qt::IgnoreAspectRatio,
                                               Qt::SmoothTransformation),
                                what);
        }
    }
}

// ---------------------------------------------------------------------------
// Date taken

class DateTaken : public ::testing::Test {
protected:
    // Summer time in central Europe is two hours ahead of UTC.
    void SetUp() override
    {
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
    }
};

TEST_F(DateTaken, TagCases)
{
    const std::string photo = save(quadrants(64, 32), "photo.jpg");
    EXPECT_EQ(GetDateTaken(photo), std::nullopt); // no tag

    const struct { const char* text; std::optional<int64_t> expected; } cases[] = {
        {"2010:06:15 14:30:00", 1276605000},
        {"2010:01:15 14:30:00", 1263562200}, // winter time: one hour ahead
        {"0000:00:00 00:00:00", std::nullopt},
        {"2010:06:15 24:00:00", std::nullopt},
        {"2010:06:15 14:60:00", std::nullopt},
        {"1899:12:31 12:00:00", std::nullopt},
        {"2010:06:15", std::nullopt}, // the time reads as 00:00:00, the day as 15
        {"    :  :     :  :  ", std::nullopt},
    };
    for (const auto& c : cases) {
        setDateTaken(photo, c.text);
        if (std::string(c.text) == "2010:06:15")
            EXPECT_EQ(GetDateTaken(photo), 1276552800) << c.text;
        else
            EXPECT_EQ(GetDateTaken(photo), c.expected) << c.text;
    }

    editExif(photo, [](Exiv2::ExifData& exif) {
        exif["Exif.Photo.DateTimeOriginal"] = uint16_t{2010}; // wrong type
    });
    EXPECT_EQ(GetDateTaken(photo), std::nullopt);
}

TEST_F(DateTaken, ReadsLikeAtoi)
{
    // Pieces at fixed places: month "6:", day "5 ", hour "4:", minute "0:", second "0".
    EXPECT_EQ(ParseDateTaken("2010:6:15 14:30:00"), 1275703200);
    EXPECT_EQ(ParseDateTaken("2010:06:15 14:30:0"), 1276605000);    // a cut second piece
    EXPECT_EQ(ParseDateTaken("2010:06:15 14:30:00 and more"), 1276605000);
    EXPECT_EQ(ParseDateTaken(""), std::nullopt);
}

// ---------------------------------------------------------------------------
// Bad input: no crash, no huge allocation, the failure path

std::string validJpeg()
{
    return ReadFile(save(quadrants(64, 32), "valid.jpg"));
}

// The frame header's height and width of a baseline JPEG written by Qt.
std::string withJpegSize(std::string jpeg, uint16_t width, uint16_t height)
{
    const std::size_t sof = jpeg.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

std::string withBmpSize(std::string bmp, int32_t width, int32_t height)
{
    for (int i = 0; i < 4; ++i) {
        bmp[18 + i] = static_cast<char>((width >> (8 * i)) & 0xFF);
        bmp[22 + i] = static_cast<char>((height >> (8 * i)) & 0xFF);
    }
    return bmp;
}

TEST(BadInput, FailurePathsWithoutCrashOrHugeAllocation)
{
    const std::string jpeg = validJpeg();
    const std::string bmp = ReadFile(save(quadrants(64, 32), "valid.bmp", "bmp"));
    const struct { const char* name; std::string bytes; } cases[] = {
        {"empty.jpg", ""},
        {"text.jpg", "this is not a photo\n"},
        {"video.jpg", std::string("\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom", 24) + std::string(4096, '\x55')},
        {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2)},
        {"huge.jpg", withJpegSize(jpeg, 30000, 30000)},
        {"zero.jpg", withJpegSize(jpeg, 0, 0)},
        {"huge.bmp", withBmpSize(bmp, 30000, 30000)},
        {"header-only.jpg", jpeg.substr(0, 2)},
    };
    const std::string good = save(quadrants(1000, 500), "good.jpg");
    for (const auto& c : cases) {
        const std::string path = SandboxPath(c.name);
        WriteFile(path, c.bytes);
        // A file prepared for the photo before must not be named for this one.
        ASSERT_EQ(MakeUploadImage(good, 800, 800), scaledCopy());
        EXPECT_EQ(MakeUploadImage(path, 800, 800), "") << c.name;
        EXPECT_FALSE(exists(scaledCopy())) << c.name;
        EXPECT_FALSE(exists(cleanCopy())) << c.name;
        EXPECT_EQ(RotateToUpright(path), "") << c.name;
        (void)GetDateTaken(path);
    }
    EXPECT_EQ(GetDateTaken(SandboxPath("empty.jpg")), std::nullopt);
    EXPECT_EQ(GetDateTaken(SandboxPath("text.jpg")), std::nullopt);
    EXPECT_EQ(MakeUploadImage(SandboxPath("missing.jpg"), 800, 800), "");
    EXPECT_EQ(MakeUploadImage(SandboxPath(""), 800, 800), ""); // a directory
    EXPECT_EQ(GetDateTaken(SandboxPath("")), std::nullopt);
}

// A FIFO with a photo's name must not block any of the three.
TEST(BadInput, FifoDoesNotBlock)
{
    const std::string path = SandboxPath("pipe.jpg");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(RotateToUpright(path), "");
    EXPECT_EQ(MakeUploadImage(path, 800, 800), "");
    EXPECT_EQ(GetDateTaken(path), std::nullopt);
}

TEST(BadInput, TurnedTruncatedPhotoGetsNoCopy)
{
    const std::string source = save(quadrants(640, 320), "whole.jpg", "jpeg", 95);
    setOrientation(source, 6);
    const std::string bytes = ReadFile(source);
    const std::string cut = SandboxPath("cut.jpg");
    WriteFile(cut, bytes.substr(0, bytes.size() - bytes.size() / 3));
    EXPECT_EQ(RotateToUpright(cut), "");
    EXPECT_EQ(RotateToUpright(cut, 800), "");
    EXPECT_EQ(MakeUploadImage(cut, 800, 800), "");
}

// EXIF entries whose count or type lie about their value.
TEST(BadInput, AbsurdExifEntries)
{
    const std::string source = save(quadrants(64, 32), "exif.jpg");
    setOrientation(source, 6);
    setDateTaken(source, "2010:06:15 14:30:00");
    const std::string bytes = ReadFile(source);
    // exiv2 writes the entry little-endian: tag 0x0112, type 3, count 1.
    const std::string entry("\x12\x01\x03\x00\x01\x00\x00\x00", 8);
    const std::size_t at = bytes.find(entry);
    ASSERT_NE(at, std::string::npos);

    std::string hugeCount = bytes;
    hugeCount.replace(at + 4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::string wrongType = bytes;
    wrongType[at + 2] = '\x0C'; // DOUBLE
    for (const auto& [name, data] : {std::pair{"count.jpg", hugeCount}, {"type.jpg", wrongType}}) {
        const std::string path = SandboxPath(name);
        WriteFile(path, data);
        EXPECT_EQ(RotateToUpright(path), "") << name;
        EXPECT_EQ(MakeUploadImage(path, 800, 800), cleanCopy()) << name; // the pixels are fine
        (void)GetDateTaken(path);
    }
}

} // namespace
} // namespace quaylet
