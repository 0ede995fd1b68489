// A JPEG header claims any size for a few bytes; the decoder would set aside
// memory for all of it before finding the data missing.

#include "media/imageprep_codec.h"
#include "media/imageprep_jpegencode.h"
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

// The same bytes with the frame header claiming another size.
Bytes Claiming(Bytes jpeg, int width, int height)
{
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = static_cast<unsigned char>(height >> 8);
            jpeg[i + 6] = static_cast<unsigned char>(height);
            jpeg[i + 7] = static_cast<unsigned char>(width >> 8);
            jpeg[i + 8] = static_cast<unsigned char>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no baseline frame header";
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

TEST(JpegFrameTest, AFileTooShortForTheSizeItClaimsIsRefusedBeforeDecoding)
{
    std::string error;
    EXPECT_TRUE(Opens(SmallJpeg(64, 48), error)) << error;
    // 16000 x 8000 within the pixel limit, in under a kilobyte.
    EXPECT_FALSE(Opens(Claiming(SmallJpeg(64, 48), 16000, 8000), error));
    EXPECT_NE(error.find("too short"), std::string::npos) << error;
}
