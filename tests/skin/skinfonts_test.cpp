#include "skin/skinfonts.h"

#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <gtest/gtest.h>

namespace quaylet {
namespace {

TEST(SkinFontsTest, TheSkinFaceIsAvailableWhenTheFontPackageIsInstalled)
{
    if (!QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
        GTEST_SKIP() << "fonts-wine is not installed (scripts/install-deps installs it)";
    }
    ASSERT_TRUE(EnsureSkinFonts());
    EXPECT_TRUE(EnsureSkinFonts());
    QFont bold(QString::fromLatin1(kSkinFontFace));
    bold.setBold(true);
    EXPECT_EQ(QFontInfo(bold).family(), QStringLiteral("Tahoma"));
}

} // namespace
} // namespace quaylet
