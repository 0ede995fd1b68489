#include "dropintake/droppaths.h"
#include "dropintake/pathtext.h"
#include "dropintake/shortcut.h"
#include "dropintake/tempname.h"
#include "platform/asciitext.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

using namespace quaylet;

TEST(PathTextTest, ExtensionIsTakenFromTheLastComponentOnly)
{
    EXPECT_EQ(PathExtension("/a/b/img_0001.jpg"), ".jpg");
    EXPECT_EQ(PathExtension("/a/b/archive.tar.GZ"), ".GZ");
    EXPECT_EQ(PathExtension("/a.b/noext"), "");
    EXPECT_EQ(PathExtension("/a/.hidden"), ".hidden");
    EXPECT_EQ(PathExtension("/a/trailingdot."), ".");
    EXPECT_EQ(UpperAscii(".jpeg\xC3\xA9"), ".JPEG\xC3\xA9");
    EXPECT_TRUE(platform::EqualsNoCase(".avi", ".AVI"));
    EXPECT_FALSE(platform::EqualsNoCase(".avi", ".AVIS"));
}

TEST(DropPathsTest, UriListGivesExactLocalBytesAndSkipsTheRest)
{
    const std::string list = "# a comment\r\n"
                             "file:///home/u/a%20b.jpg\r\n"
                             "http://example.invalid/x.jpg\r\n"
                             "file://localhost/tmp/%FF%FEname.jpg\r\n"
                             "file://otherhost/tmp/remote.jpg\r\n"
                             "file:///bad%zzescape.jpg\r\n"
                             "file:///nul%00byte.jpg\r\n"
                             "file:/short/form%0Aline.jpg\n"
                             "\r\n";
    const std::vector<std::string> expected{"/home/u/a b.jpg", "/tmp/\xFF\xFEname.jpg",
                                            "/short/form\nline.jpg"};
    EXPECT_EQ(PathsFromUriList(list), expected);
}

TEST(ShortcutTest, DesktopLinksGiveTheirLocalTarget)
{
    ::setenv("HOME", "/home/someone", 1);
    const std::string home = "/home/someone";
    const struct {
        std::string text;
        std::string target;
    } cases[] = {
        {"[Desktop Entry]\nType=Link\nName=Pics\nURL=file:///home/u/Pics\n", "/home/u/Pics"},
        {"# made by hand\n\n[Desktop Entry]\nURL=file:///a/b%20c.jpg\nType=Link\n", "/a/b c.jpg"},
        {"[Desktop Entry]\nType=Application\nExec=rm -rf ~\nURL=file:///x\n", ""},
        {"[Desktop Entry]\nType=Link\nURL=https://example.invalid/\n", ""},
        {"[Other Group]\nType=Link\nURL=file:///x\n", ""},
        {"[Desktop Entry]\nName=x\n[Extra]\nType=Link\nURL=file:///x\n", ""},
        {"[Desktop Entry]\nType=Link\nURL[$e]=file:$HOME/Pictures/a.jpg\n", home + "/Pictures/a.jpg"},
        {"\xFF\xD8\xFF\xE0 a photo", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopLinkTarget(c.text), c.target) << c.text;
}

TEST(TempNameTest, RenamesNeverReplaceAndTempNamesSkipTakenNumbers)
{
    const std::string dir = quaylet::test::SandboxPath("names");
    quaylet::test::WriteFile(dir + "/a.jpg", "a");
    quaylet::test::WriteFile(dir + "/b.jpg", "b");
    errno = 0;
    EXPECT_FALSE(RenameNoReplace(dir + "/a.jpg", dir + "/b.jpg"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(quaylet::test::ReadFile(dir + "/b.jpg"), "b");
    EXPECT_TRUE(RenameNoReplace(dir + "/a.jpg", dir + "/c.jpg"));

    EXPECT_EQ(MakeTempName(dir + "/x.Jpeg"), dir + "/TempFile_1.Jpeg");
    quaylet::test::WriteFile(dir + "/TempFile_1.Jpeg", "");
    ::symlink("nowhere", (dir + "/TempFile_2.Jpeg").c_str()); // a dangling link takes a name too
    quaylet::test::WriteFile(dir + "/TempFile_4.Jpeg", "");
    EXPECT_EQ(MakeTempName(dir + "/x.Jpeg"), dir + "/TempFile_3.Jpeg");
    EXPECT_EQ(MakeTempName(dir + "/folder"), dir + "/TempFile_1");
}
