// The drop window's preview: made off the window thread, at the preview's
// size, and a video's film strip until its still frame is there.

#include "../engine/enginetestsupport.h"
#include "core/logfile.h"
#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"
#include "support/sandbox.h"
#include "transfer/uploadqueue.h"
#include "window/mainwindowfixture.h"
#include "window/mainwindowview.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace quaylet::test {
namespace {

using namespace std::chrono_literals;

// The drop window's controls on a plain host, the preview where the skin puts it.
struct ViewFixture {
    ViewFixture()
    {
        host.resize(640, 480);
        preview.setGeometry(2, 53, 634, 366);
        placeholder.setGeometry(preview.geometry());
        host.show();
    }

    QWidget host;
    CCancelButton cancel{&host};
    CHoverButton close{&host}, help{&host}, menu{&host}, login{&host};
    CSkinStatic count{&host}, status{&host}, account{&host};
    CPictureCtrl preview{&host}, placeholder{&host};
    CSmoothProgress progress{&host};
    CMainWindowView view{MainWindowControls{cancel, close, help, menu, login, count, status, account, preview,
                                            placeholder, progress},
                         {}};
};

QueueRow Row(const std::string& path, bool video)
{
    QueueRow row;
    row.columns[kColumnPathname] = path;
    row.columns[kColumnFileType] = video ? "2" : "1";
    row.queuedPath = path;
    return row;
}

bool ShownFully(const CPictureCtrl& picture)
{
    return picture.isVisible() && picture.HasPicture() && !picture.IsFading();
}

TEST(Preview, APhotoIsDecodedAtThePreviewsSize)
{
    ViewFixture f;
    const std::string photo = MakePhoto(SandboxPath("big.jpg"), 4000, 3000);
    f.view.showNextFile(Row(photo, false));
    ASSERT_TRUE(WaitUntil([&] { return ShownFully(f.preview); }, 10s));
    const QSize box = f.preview.size() * f.preview.devicePixelRatioF();
    EXPECT_LE(f.preview.PictureSize().width(), box.width());
    EXPECT_LE(f.preview.PictureSize().height(), box.height());
    EXPECT_GE(f.preview.PictureSize().width(), box.width() / 2); // not a thumbnail either
    EXPECT_FALSE(f.placeholder.isVisible());
}

// A still frame that takes long (here an encoder that never gives one) keeps
// neither the window thread nor the next file waiting.
TEST(Preview, ASlowStillFrameNeverHoldsTheWindowThread)
{
    ViewFixture f;
    {
        std::ofstream slow("ffmpeg"); // found in the working directory before PATH
        slow << "#!/bin/sh\nsleep 3\nexit 1\n";
    }
    std::filesystem::permissions("ffmpeg", std::filesystem::perms::owner_all);
    const std::string photo = MakePhoto(SandboxPath("next.jpg"), 800, 600);

    const auto started = std::chrono::steady_clock::now();
    f.view.showNextFile(Row(SandboxPath("first.avi"), true));
    EXPECT_TRUE(f.placeholder.isVisible());
    EXPECT_TRUE(f.placeholder.HasPicture()) << "the film strip, not a black box";
    EXPECT_FALSE(f.preview.isVisible());
    f.view.showNextFile(Row(SandboxPath("second.avi"), true));
    f.view.showNextFile(Row(photo, false));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);

    // The photo's preview follows once the first encoder run has ended; the
    // second video, overtaken, never runs one.
    ASSERT_TRUE(WaitUntil([&] { return ShownFully(f.preview); }, 15s));
    EXPECT_FALSE(f.placeholder.isVisible());
    std::filesystem::remove("ffmpeg");
}

TEST(Preview, AVideoShowsTheFilmStripUntilItsStillFrame)
{
    ViewFixture f;
    const std::string clip = MakeClip(SandboxPath("clip.mp4"), 4, "640x480");
    f.view.showNextFile(Row(clip, true));
    EXPECT_TRUE(f.placeholder.isVisible() && f.placeholder.HasPicture());
    ASSERT_TRUE(WaitUntil([&] { return ShownFully(f.preview); }, 15s));
    EXPECT_FALSE(f.placeholder.isVisible());
    EXPECT_LE(f.preview.PictureSize().width(), 634);

    // A queue reset drops the picture.
    f.view.showQueueReset();
    EXPECT_FALSE(f.preview.HasPicture());
    EXPECT_FALSE(f.preview.isVisible());
}

} // namespace
} // namespace quaylet::test
