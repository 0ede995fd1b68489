#include "skin/picturectrl.h"
#include "skin/picturefade.h"

#include "widgetevents.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quaylet {
namespace {

using test::Backdrop;
using test::Rendered;
using test::WaitUntil;

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kBlack(0, 0, 0);

// A picture file of one colour in the test's working directory.
std::string PictureFile(const char* name, const QColor& colour, int width = 40, int height = 30)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(QString::fromLatin1(name)));
    return name;
}

bool Near(const QColor& actual, int red, int green, int blue)
{
    return std::abs(actual.red() - red) <= 2 && std::abs(actual.green() - green) <= 2 &&
           std::abs(actual.blue() - blue) <= 2;
}

struct PictureFixture {
    Backdrop backdrop;
    CPictureCtrl picture{&backdrop};
    std::vector<int> frames;
    std::vector<QColor> colours; // the middle pixel of each frame

    PictureFixture()
    {
        picture.setGeometry(10, 10, 40, 30);
        picture.show();
        QObject::connect(&picture, &CPictureCtrl::fadeFrameShown, [this](int k) {
            frames.push_back(k);
            colours.push_back(Middle());
        });
    }
    QColor Middle() { return Rendered(picture).pixelColor(20, 15); }
    bool FadeEnds() { return WaitUntil([this] { return !picture.IsFading(); }); }
};

TEST(PictureCtrlTest, FadeShowsElevenFramesAtTheDesignedOpacitiesWithoutBlocking)
{
    const int out[] = {255, 229, 204, 178, 153, 127, 102, 76, 51, 25, 0};
    const int in[] = {0, 25, 51, 76, 102, 127, 153, 178, 204, 229, 255};
    for (int k = 0; k < kFadeFrames; ++k) {
        EXPECT_EQ(FadeOutOpacity(k), out[k]);
        EXPECT_EQ(FadeInOpacity(k), in[k]);
    }

    PictureFixture f;
    ASSERT_TRUE(f.picture.LoadPicture(PictureFile("red.png", kRed)));
    f.picture.FadeToPicture(PictureFile("blue.png", kBlue), 500);
    EXPECT_EQ(f.frames.size(), 1u) << "the fade blocked its caller";
    ASSERT_TRUE(f.FadeEnds());
    WaitUntil([] { return false; }, 150); // no frame may follow the last
    ASSERT_EQ(f.frames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    for (int k = 0; k < kFadeFrames; ++k) {
        // The old picture over black, then the new one over that.
        EXPECT_TRUE(Near(f.colours[k], out[k] * (255 - in[k]) / 255, 0, in[k]))
            << "frame " << k << " shows " << f.colours[k].name().toStdString();
    }
    EXPECT_TRUE(f.picture.HasPicture());
    EXPECT_EQ(f.Middle(), kBlue);
}

TEST(PictureCtrlTest, NewFadeOrLoadEndsTheRunningFadeAtOnce)
{
    PictureFixture f;
    ASSERT_TRUE(f.picture.LoadPicture(PictureFile("red.png", kRed)));
    const std::string blue = PictureFile("blue.png", kBlue);
    f.picture.FadeToPicture(blue, 100000);
    f.picture.FadeToPicture(PictureFile("green.png", kGreen), 0);
    ASSERT_EQ(f.colours.size(), 2u);
    EXPECT_EQ(f.colours[1], kBlue) << "the second fade did not start from the first one's picture";
    ASSERT_TRUE(f.FadeEnds());
    EXPECT_EQ(f.Middle(), kGreen);

    f.picture.FadeToPicture(PictureFile("red.png", kRed), 100000);
    const std::size_t shown = f.frames.size();
    ASSERT_TRUE(f.picture.LoadPicture(blue));
    EXPECT_FALSE(f.picture.IsFading());
    EXPECT_EQ(f.Middle(), kBlue);
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(f.frames.size(), shown);
}

TEST(PictureCtrlTest, DrawsTheFittedPictureOnBlackAndStaysBlackForAMissingFile)
{
    PictureFixture f;
    // 1000 x 500 in 40 x 30: 40 x 20 from row 5.
    ASSERT_TRUE(f.picture.LoadPicture(PictureFile("wide.png", kGreen, 1000, 500)));
    const QImage shown = Rendered(f.picture);
    EXPECT_EQ(shown.pixelColor(20, 4), kBlack);
    EXPECT_EQ(shown.pixelColor(20, 5), kGreen);
    EXPECT_EQ(shown.pixelColor(20, 24), kGreen);
    EXPECT_EQ(shown.pixelColor(20, 25), kBlack);

    EXPECT_FALSE(f.picture.LoadPicture("missing.png"));
    EXPECT_FALSE(f.picture.HasPicture());
    EXPECT_EQ(f.Middle(), kBlack);

    ASSERT_TRUE(f.picture.LoadPicture(PictureFile("red.png", kRed)));
    f.picture.FadeToPicture("missing.png", 0);
    ASSERT_TRUE(f.FadeEnds());
    EXPECT_EQ(f.Middle(), kBlack);

    ASSERT_TRUE(f.picture.LoadPicture(PictureFile("red.png", kRed)));
    EXPECT_TRUE(f.picture.LoadPicture(""));
    EXPECT_FALSE(f.picture.HasPicture());
}

} // namespace
} // namespace quaylet
