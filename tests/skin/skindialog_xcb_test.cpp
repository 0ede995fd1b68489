// A skinned dialog as a real X11 window: the server cuts its corners, and a
// drag near a screen edge really moves it onto the edge.

#include "skin/skindialog.h"

#include "skinfixtures.h"
#include "support/xcbdisplay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>

namespace quaylet {
namespace {

constexpr QRgb kSkinColour = 0xFFC86432; // RGB(200,100,50)
constexpr QRgb kRootColour = 0xFF000000; // the server's bare root window

// Processes events until `done` holds or 5 seconds have passed.
bool WaitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QRgb ScreenPixel(QPoint at)
{
    return QApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0) |
           0xFF000000;
}

class XcbSkinDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::XcbUnavailable().empty())
            GTEST_SKIP() << test::XcbUnavailable();
        QImage mask = test::BodyMask(640, 480);
        test::CutCurvedCorners(mask);
        QImage picture(640, 480, QImage::Format_RGB32);
        picture.fill(kSkinColour);
        dialog = std::make_unique<KLSkinDialog>(nullptr, [=](int id, int) {
            return SkinPicture{id == 187 ? mask : picture, 0};
        });
        dialog->SetSkin(186, 187, 186, 186, QColor(255, 0, 0));
        dialog->LoadSkin();
        dialog->move(100, 100);
        dialog->show();
        ASSERT_TRUE(WaitFor(
            [&] { return dialog->windowHandle() != nullptr && dialog->windowHandle()->isExposed(); }));
        ASSERT_TRUE(WaitFor([] {
            return ScreenPixel({300, 300}) == kSkinColour;
        })) << "the dialog was never drawn";
    }

    std::unique_ptr<KLSkinDialog> dialog;
};

TEST_F(XcbSkinDialogTest, TheServerCutsTheCurvedCorners)
{
    const QPoint origin(100, 100);
    struct Probe {
        QPoint at;
        bool skin;
    };
    for (const Probe& p :
         {Probe{{0, 0}, false}, Probe{{3, 0}, false}, Probe{{0, 3}, false}, Probe{{639, 0}, false},
          Probe{{0, 479}, false}, Probe{{639, 479}, false}, Probe{{4, 0}, true}, Probe{{1, 2}, true},
          Probe{{635, 479}, true}, Probe{{320, 0}, true}}) {
        EXPECT_EQ(ScreenPixel(origin + p.at), p.skin ? kSkinColour : kRootColour)
            << p.at.x() << "," << p.at.y();
    }
}

TEST_F(XcbSkinDialogTest, ADragNearAScreenEdgeLandsOnTheEdge)
{
    const QScreen* screen = dialog->screen();
    // With no window manager nothing reserves any part of the screen.
    ASSERT_EQ(screen->availableGeometry(), screen->geometry());

    // Dropped 9 pixels from the left edge and 6 above the bottom one: it lands in the corner.
    const QPoint proposed(9, 768 - 480 - 6);
    test::DragWindow(*dialog, QPoint(300, 200), proposed);
    EXPECT_TRUE(WaitFor([] {
        return ScreenPixel({1, 300}) == kSkinColour;
    })) << "the window is not at the left edge";
    EXPECT_EQ(dialog->pos(), QPoint(0, 768 - 480));
    EXPECT_EQ(ScreenPixel({4, 767}), kSkinColour);
    EXPECT_EQ(ScreenPixel({0, 767}), kRootColour); // its lower left corner is cut
    EXPECT_EQ(ScreenPixel({641, 300}), kRootColour);
}

} // namespace
} // namespace quaylet
