#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"

#include "widgetevents.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

namespace quaylet {
namespace {

using test::Backdrop;
using test::Rendered;
using test::WaitUntil;

const QColor kNormal(200, 0, 0);
const QColor kHover(0, 200, 0);
const QColor kDown(0, 0, 200);

QImage Filled(const QColor& colour)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

struct ButtonFixture {
    Backdrop backdrop;
    CHoverButton button{&backdrop};
    int menus = 0;
    int clicks = 0;

    ButtonFixture()
    {
        button.setGeometry(10, 10, 40, 20);
        button.setImages(Filled(kNormal), Filled(kHover), Filled(kDown));
        button.show();
        QObject::connect(&button, &CHoverButton::clicked, [this] { ++clicks; });
        QObject::connect(&button, &CHoverButton::menuRequested, [this](CHoverButton* sender, QPoint) {
            EXPECT_EQ(sender, &button);
            ++menus;
            // An open menu takes the pointer off the button, as a real pop-up does.
            test::Leave(button);
        });
    }
    QColor Face() { return Rendered(button).pixelColor(20, 10); }
    bool RestOn()
    {
        test::Move(button);
        return WaitUntil([this] { return Face() == kHover; });
    }
};

TEST(HoverButtonTest, ShowsThePictureOfItsState)
{
    ButtonFixture f;
    EXPECT_EQ(f.Face(), kNormal);
    ASSERT_TRUE(f.RestOn());
    test::Press(f.button);
    EXPECT_EQ(f.Face(), kDown);
    test::Release(f.button);
    EXPECT_EQ(f.Face(), kHover);
    test::Leave(f.button);
    EXPECT_EQ(f.Face(), kNormal);
    EXPECT_EQ(f.clicks, 1);
}

TEST(HoverButtonTest, DrawsPicturesOfTwiceTheSizeAtTheButtonsSize)
{
    ButtonFixture f;
    QImage sharp(80, 40, QImage::Format_RGB32);
    sharp.fill(kNormal);
    for (int y = 0; y < 40; ++y) {
        for (int x = 40; x < 80; ++x) {
            sharp.setPixelColor(x, y, kHover);
        }
    }
    sharp.setDevicePixelRatio(2);
    f.button.setImages(sharp, QImage(), QImage());
    const QImage shown = Rendered(f.button);
    EXPECT_EQ(shown.pixelColor(5, 10), kNormal);
    EXPECT_EQ(shown.pixelColor(35, 10), kHover);

    // Missing looks fall back to the normal picture.
    test::Press(f.button);
    EXPECT_EQ(Rendered(f.button).pixelColor(5, 10), kNormal);
}

TEST(HoverButtonTest, MenuButtonPressAfterTheMenuClosedIsAClickUntilThePointerRestsOnItAgain)
{
    ButtonFixture f;
    f.button.SetMenuButton(true);
    struct Step {
        bool restFirst;
        int menus, clicks;
    };
    const Step steps[] = {
        {false, 1, 0}, // opens the menu; no click
        {false, 1, 1}, // pressed again without resting on it: an ordinary click
        {false, 2, 1}, // the toggle flips back: the menu again
        {true, 3, 1},  // the pointer rested on it after the menu: the menu once more
        {true, 4, 1},
        {false, 4, 2},
    };
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "press " << ++n);
        if (step.restFirst) {
            ASSERT_TRUE(f.RestOn());
        }
        test::Click(f.button);
        EXPECT_EQ(f.menus, step.menus);
        EXPECT_EQ(f.clicks, step.clicks);
        EXPECT_NE(f.Face(), kDown) << "the button stays pressed after its menu closed";
    }
}

TEST(HoverButtonTest, KeyboardReachesAndPressesItWithAFrameOnlyForTheKeyboard)
{
    ButtonFixture f;
    // Named by its tooltip until it is given the words on its picture.
    f.button.SetToolTipText(QStringLiteral("Upload your files"), true);
    EXPECT_EQ(f.button.accessibleName(), QStringLiteral("Upload your files"));
    EXPECT_EQ(f.button.toolTip(), QStringLiteral("Upload your files"));
    f.button.SetSpokenName(QStringLiteral("Upload"));
    f.button.SetToolTipText(QStringLiteral("Upload your files"), false);
    EXPECT_EQ(f.button.accessibleName(), QStringLiteral("Upload"));
    EXPECT_TRUE(f.button.toolTip().isEmpty());

    EXPECT_TRUE(f.button.focusPolicy() & Qt::TabFocus);
    test::FocusByTab(f.button);
    ASSERT_TRUE(f.button.hasFocus());
    EXPECT_NE(Rendered(f.button).pixelColor(1, 1), kNormal) << "no focus frame after Tab";
    test::Key(f.button, Qt::Key_Space);
    test::Key(f.button, Qt::Key_Return);
    EXPECT_EQ(f.clicks, 2);

    f.button.clearFocus();
    f.button.setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_NE(Rendered(f.button).pixelColor(1, 1), kNormal) << "the frame went with the window's focus";

    test::Click(f.button);
    EXPECT_EQ(Rendered(f.button).pixelColor(1, 1), kNormal) << "a focus frame after a mouse click";

    f.button.SetMenuButton(true);
    test::Key(f.button, Qt::Key_Return);
    EXPECT_EQ(f.menus, 1);
}

TEST(CancelButtonTest, FillsItselfWithTheBarColourWhileDisabledAndRepaintsTheWindow)
{
    Backdrop backdrop;
    CCancelButton cancel(&backdrop);
    cancel.setGeometry(50, 20, 40, 20);
    cancel.setImages(Filled(kNormal), Filled(kHover), Filled(kDown));
    const QColor bar(15, 48, 113);
    cancel.SetFillColour(bar);
    cancel.show();
    EXPECT_EQ(Rendered(cancel).pixelColor(20, 10), bar) << "hidden until first enabled";

    cancel.EnableButton();
    EXPECT_TRUE(cancel.isEnabled());
    EXPECT_EQ(Rendered(cancel).pixelColor(20, 10), kNormal);

    backdrop.paints = 0;
    backdrop.painted = QRegion();
    cancel.DisableButton();
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_GE(backdrop.paints, 1);
    EXPECT_TRUE((QRegion(backdrop.rect()) - backdrop.painted).isEmpty()) << "only part of the window was repainted";
    EXPECT_EQ(Rendered(backdrop).pixelColor(70, 30), bar);
}

} // namespace
} // namespace quaylet
