// The client's window for real: an X server, Qt's xcb platform and the
// development service. Three photos dropped on the window reach the service,
// and the upload-completed dialog takes the window's place.

#include "mainwindowfixture.h"

#include "dialogs/uploadcompleteddlg.h"
#include "engine/transferengine.h"
#include "support/sandbox.h"
#include "support/xcbdisplay.h"
#include "window/mainwindowview.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

namespace quaylet::test {
namespace {

QRgb ScreenPixel(QPoint at)
{
    return QApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0) | 0xff000000;
}

bool Exposed(QWidget& widget)
{
    return widget.windowHandle() != nullptr && widget.windowHandle()->isExposed();
}

// What a file manager's drop delivers: a drag entering, then the drop.
bool DropOn(QWidget& window, const QByteArray& uriList)
{
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), uriList);
    const QPoint at(320, 240);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

TEST(XcbMainWindow, ThreePhotosDroppedOnTheRealWindowReachTheService)
{
    if (!XcbUnavailable().empty())
        GTEST_SKIP() << XcbUnavailable();
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    QPoint dialogAt;
    fixture.answerDialog = [&](QDialog& dialog) {
        QMetaObject::invokeMethod(
            &dialog,
            [&] {
                WaitUntil([&] { return Exposed(dialog); }, std::chrono::seconds(10));
                dialogAt = dialog.pos();
                dialog.accept();
            },
            Qt::QueuedConnection);
        return dialog.exec();
    };
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->move(100, 100);
    window->show();
    ASSERT_TRUE(WaitUntil([&] { return Exposed(*window); }, std::chrono::seconds(10)));
    WaitUntil([] { return false; }, std::chrono::milliseconds(300)); // the first paint reaches the server

    EXPECT_EQ(window->size(), QSize(640, 480));
    // The outline cuts the corners: the server's black root shows there.
    EXPECT_EQ(ScreenPixel(QPoint(100, 100)), qRgb(0, 0, 0));
    EXPECT_NE(ScreenPixel(QPoint(100 + 320, 100 + 240)), qRgb(0, 0, 0));

    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i) {
        photos.push_back(SandboxPath("drop/photo" + std::to_string(i) + ".jpg"));
        WritePhoto(photos.back(), i);
    }
    ASSERT_TRUE(DropOn(*window, UriList(photos)));

    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && !dialogAt.isNull(); }));
    EXPECT_EQ(fixture.StoredUploads(), 3);
    const auto saw = [&](const char* status) {
        const QString tip = QStringLiteral("Glimmerly ") + QString::fromLatin1(status);
        return std::find(fixture.tray->toolTips.begin(), fixture.tray->toolTips.end(), tip) !=
               fixture.tray->toolTips.end();
    };
    EXPECT_TRUE(saw("Uploading"));
    EXPECT_TRUE(saw("Uploaded"));
    // The dialog stood where the window was (one pixel lower, as the window
    // stays on top), and the window came back there.
    EXPECT_EQ(dialogAt, QPoint(100, 101));
    ASSERT_TRUE(WaitUntil([&] { return window->isVisible() && window->uploadCompletedDialog() == nullptr; }));
    EXPECT_EQ(window->pos(), QPoint(100, 100));
}

} // namespace
} // namespace quaylet::test
