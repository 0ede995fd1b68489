// A JPEG header claims any size for a few bytes; the decoder would set aside
// memory for all of it before finding the data missing.

#include "media/imageprep_codec.h"
#include "media/imageprep_jpegencode.h"
#include "jpeglayouts.h"
#include "media/jpegframe.h"
#include "support/sandbox.h"

#include <QImage>

#include <gtest/gtest.h>

#include <string>

using quaylet::imageprep::Bytes;

namespace {

Bytes SmallJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    Bytes jpeg;
    std::string error;
    EXPECT_TRUE(quaylet::imageprep::EncodeJpeg(image, quaylet::imageprep::JpegEncoding{}, jpeg, error)) << error;
    return jpeg;
}

Bytes SmallJpegIn(const quaylet::test::JpegTestLayout& layout, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const std::string jpeg = quaylet::test::EncodeJpegLayout(image, layout);
    EXPECT_FALSE(jpeg.empty()) << layout.name;
    return Bytes(jpeg.begin(), jpeg.end());
}

// The same bytes with the frame header claiming another size.
Bytes Claiming(Bytes jpeg, int width, int height)
{
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        const unsigned char m = jpeg[i + 1];
        if (jpeg[i] == 0xFF && m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            jpeg[i + 5] = static_cast<unsigned char>(height >> 8);
            jpeg[i + 6] = static_cast<unsigned char>(height);
            jpeg[i + 7] = static_cast<unsigned char>(width >> 8);
            jpeg[i + 8] = static_cast<unsigned char>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

bool Opens(const Bytes& jpeg, std::string& error)
{
    const std::string path = quaylet::test::SandboxPath("photo.jpg");
    quaylet::test::WriteFile(path, std::string(jpeg.begin(), jpeg.end()));
    quaylet::imageprep::SourceImage source;
    return quaylet::imageprep::OpenSourceImage(path, source, error);
}

} // namespace

TEST(JpegFrameTest, CountsTheBlocksOfEachComponent)
{
    // Encoded without subsampling: three components of 3 x 2 blocks each.
    const auto frame = quaylet::imageprep::ReadJpegFrame(SmallJpeg(17, 9));
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->arithmetic);
    EXPECT_EQ(frame->width, 17);
    EXPECT_EQ(frame->height, 9);
    EXPECT_EQ(frame->blocks, 3 * 3 * 2);
}

TEST(JpegFrameTest, FindsNoFrameInDamagedHeaders)
{
    const Bytes jpeg = SmallJpeg(8, 8);
    for (const Bytes& damaged : {Bytes{}, Bytes{0xFF, 0xD8}, Bytes(jpeg.begin(), jpeg.begin() + 30),
                                 Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x05, 8, 0, 1, 0}})
        EXPECT_FALSE(quaylet::imageprep::ReadJpegFrame(damaged)) << damaged.size() << " bytes";
}

// Refused by the frame alone, before the decoder sets aside memory for the
// claimed blocks (785 MB for a progressive 16384 x 8192 one) and decodes them
// (arithmetic decoding fills missing data with zeros without a warning).
TEST(JpegFrameTest, AFileTooShortForTheSizeItClaimsIsRefusedBeforeDecoding)
{
    const quaylet::test::JpegTestLayout layouts[] = {
        {"baseline"},
        {"arithmetic", 3, 1, 1, 0, false, true},
        {"progressive arithmetic", 3, 2, 2, 0, true, true},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::string error;
        const Bytes small = SmallJpegIn(layout, 64, 48);
        EXPECT_TRUE(Opens(small, error)) << error;
        // 16384 x 8192 within the pixel limit, in a few hundred bytes.
        const Bytes hostile = Claiming(small, 16384, 8192);
        EXPECT_LT(hostile.size(), 1024u);
        EXPECT_FALSE(Opens(hostile, error));
        EXPECT_NE(error.find("too short"), std::string::npos) << error;
    }
}
