// The window's icon comes from the icon theme when the client is installed and
// from the pictures built into the program otherwise; both must give a sharp
// picture at every size the desktop asks for.

#include "support/sandbox.h"
#include "window/appicon.h"

#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(AppIconTest, WithoutAnInstalledThemeTheBuiltInPicturesServeEverySize)
{
    // An empty theme folder: nothing installed can stand in for the built-in pictures.
    const QString themes = QString::fromStdString(quaylet::test::SandboxPath("icons"));
    ASSERT_TRUE(QDir().mkpath(themes));
    QIcon::setThemeSearchPaths({themes});

    const QIcon icon = quaylet::AppIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage picture = icon.pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(picture.size(), QSize(size, size)) << size;
        // The tile fills the middle; a blank or missing picture would not.
        EXPECT_EQ(qAlpha(picture.pixel(size / 2, size / 2)), 255) << size;
    }
}

} // namespace
