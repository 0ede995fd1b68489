// A skinned dialog made from a small stand-in skin: its outline, where its
// controls land and how they are dressed, its failure states and dragging.

#include "skin/skindialog.h"

#include "core/logfile.h"
#include "skin/snaprule.h"
#include "skinfixtures.h"
#include "support/sandbox.h"

#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quaylet {
namespace {

using test::BodyMask;
using test::FillBox;
using test::kTransparent;
using test::ReadFile;
using test::SandboxPath;

constexpr int kPicture = 186;
constexpr int kMask = 187;

// Every dressing call of every stand-in, in the order they happened.
using CallLog = std::vector<std::string>;

class StandInButton final : public QWidget, public ISkinButton {
public:
    StandInButton(QWidget* parent, CallLog& log, std::string name) : QWidget(parent), m_log(log), m_name(name)
    {
    }
    void setImages(const QImage& normal, const QImage& hover, const QImage& down) override
    {
        m_log.push_back(m_name + ".setImages");
        images = {normal, hover, down};
    }
    std::vector<QImage> images;

private:
    CallLog& m_log;
    std::string m_name;
};

class StandInLabel final : public QWidget, public ISkinLabel {
public:
    StandInLabel(QWidget* parent, CallLog& log, std::string name) : QWidget(parent), m_log(log), m_name(name)
    {
    }
    void setLink(bool link) override { m_log.push_back(m_name + ".setLink " + (link ? "1" : "0")); }
    void setTextColor(const QColor& colour) override
    {
        m_log.push_back(m_name + ".setTextColor " + colour.name().toStdString());
    }
    void setLabelFont(const QString& face, int size, bool bold, bool underline, bool plain) override
    {
        m_log.push_back(m_name + ".setLabelFont " + face.toStdString() + " " + std::to_string(size) + " " +
                        std::to_string(bold) + std::to_string(underline) + std::to_string(plain));
    }

private:
    CallLog& m_log;
    std::string m_name;
};

class StandInProgress final : public QWidget, public ISkinProgress {
public:
    StandInProgress(QWidget* parent, CallLog& log) : QWidget(parent), m_log(log) {}
    void setColors(const QColor& background, const QColor& bar, const QColor& border) override
    {
        m_log.push_back("Progress.setColors " + background.name().toStdString() + " " +
                        bar.name().toStdString() + " " + border.name().toStdString());
    }

private:
    CallLog& m_log;
};

// The main window's layout in miniature: its corners, a button, labels, two
// picture controls sharing one colour, a progress bar, and a label whose
// colour the mask lacks.
class StandInDialog final : public KLSkinDialog {
public:
    StandInDialog(std::map<int, QImage> pictures, CallLog& log)
        : KLSkinDialog(
              nullptr,
              [pictures](int id, int) {
                  const auto found = pictures.find(id);
                  return found == pictures.end() ? SkinPicture{QImage(), 2} : SkinPicture{found->second, 0};
              }),
          cancel(this, log, "Cancel"), status(this, log, "Status"), userName(this, log, "UserName"),
          missing(this, log, "Missing"), preview(this), secondPreview(this), progress(this, log)
    {
        resize(300, 200);
        for (QWidget* w : std::initializer_list<QWidget*>{&cancel, &status, &userName, &missing, &preview,
                                                          &secondPreview, &progress})
            w->setGeometry(kTemplatePlace);
        SetSkin(kPicture, kPicture, kPicture, kPicture, QColor(255, 0, 0));
        AddButtonElement(cancel, 1017, QColor(128, 0, 128), "Cancel", false);
        AddStaticElement(status, 1021, QColor(255, 255, 128), "Status", QColor(255, 255, 255),
                         QStringLiteral("Tahoma"), 140, false, false);
        AddStaticElement(userName, 1026, QColor(128, 128, 64), "UserName", QColor(200, 200, 200),
                         QStringLiteral("Tahoma"), 140, true, true);
        AddStaticElement(missing, 1030, QColor(1, 2, 3), "Missing", QColor(0, 0, 0), QStringLiteral("Tahoma"),
                         84, false, false);
        AddPictureElement(preview, 1000, QColor(128, 128, 255), "Preview");
        AddPictureElement(secondPreview, 1024, QColor(128, 128, 255), "Preview");
        AddProgressElement(progress, 1023, QColor(64, 64, 64), "Progress", QColor(0, 0, 0),
                           QColor(31, 92, 207), QColor(106, 106, 106));
    }

    static constexpr QRect kTemplatePlace{5, 5, 20, 10};

    // The mask id differs from the picture's; kept apart so a test can drop either.
    void UseMask(int maskId) { SetSkin(kPicture, maskId, kPicture, kPicture, QColor(255, 0, 0)); }
    void UsePictures(int skin, int mask, int over, int down)
    {
        SetSkin(skin, mask, over, down, QColor(255, 0, 0));
    }

    StandInButton cancel;
    StandInLabel status;
    StandInLabel userName;
    StandInLabel missing;
    QWidget preview;
    QWidget secondPreview;
    StandInProgress progress;
};

QImage StandInMask()
{
    QImage mask = BodyMask(640, 480);
    test::CutCurvedCorners(mask);
    FillBox(mask, 524, 438, 613, 470, qRgb(128, 0, 128));
    FillBox(mask, 162, 439, 496, 468, qRgb(255, 255, 128));
    FillBox(mask, 2, 53, 637, 420, qRgb(128, 128, 255));
    FillBox(mask, 61, 63, 605, 89, qRgb(128, 128, 64));
    FillBox(mask, 2, 420, 637, 427, qRgb(64, 64, 64));
    return mask;
}

class SkinDialogTest : public ::testing::Test {
protected:
    void SetUp() override { OpenLog(SandboxPath("Quaylet.log")); }
    std::string Log() const { return ReadFile(SandboxPath("Quaylet.log")); }
    bool Logged(const std::string& line) const { return Log().find(line) != std::string::npos; }

    // The dialog's own size and shape, no control placed or dressed.
    void ExpectAsMade(const StandInDialog& dialog) const
    {
        EXPECT_FALSE(dialog.isSkinned());
        EXPECT_EQ(dialog.size(), QSize(300, 200));
        EXPECT_TRUE(dialog.mask().isEmpty());
        EXPECT_EQ(dialog.status.geometry(), StandInDialog::kTemplatePlace);
        EXPECT_EQ(dialog.cancel.geometry(), StandInDialog::kTemplatePlace);
        EXPECT_TRUE(calls.empty());
    }

    // A mask with a Help button's area, for the buttons that load their look from a file.
    static QImage MaskWithHelp()
    {
        QImage mask = StandInMask();
        FillBox(mask, 563, 11, 592, 41, qRgb(0, 255, 255));
        return mask;
    }

    const QImage picture = test::PatternPicture(640, 480);
    CallLog calls;
};

TEST_F(SkinDialogTest, LoadSkinCutsTheOutlineAndPlacesAndDressesInRegistrationOrder)
{
    StandInDialog dialog({{kPicture, picture}, {kMask, StandInMask()}}, calls);
    dialog.UseMask(kMask);
    dialog.LoadSkin();

    EXPECT_TRUE(dialog.isSkinned());
    EXPECT_EQ(dialog.size(), QSize(640, 480));
    const QRegion outline = dialog.mask();
    EXPECT_EQ(outline.boundingRect(), QRect(0, 0, 640, 480));
    for (const QPoint corner : {QPoint(0, 0), QPoint(3, 0), QPoint(639, 0), QPoint(0, 479), QPoint(639, 479)})
        EXPECT_FALSE(outline.contains(corner)) << corner.x() << "," << corner.y();
    EXPECT_TRUE(outline.contains(QPoint(4, 0)));

    EXPECT_EQ(dialog.status.geometry(), QRect(162, 439, 334, 29));
    EXPECT_EQ(dialog.cancel.geometry(), QRect(524, 438, 89, 32));
    EXPECT_EQ(dialog.userName.geometry(), QRect(61, 63, 544, 26));
    EXPECT_EQ(dialog.preview.geometry(), QRect(2, 53, 635, 367)); // the label inside leaves no dent
    EXPECT_EQ(dialog.progress.geometry(), QRect(2, 420, 635, 7));
    EXPECT_EQ(dialog.secondPreview.geometry(), StandInDialog::kTemplatePlace);
    EXPECT_EQ(dialog.missing.geometry(), StandInDialog::kTemplatePlace);

    const CallLog expected = {
        "Cancel.setImages",
        "Status.setLink 0",
        "Status.setTextColor #ffffff",
        "Status.setLabelFont Tahoma 140 000",
        "UserName.setLink 1",
        "UserName.setTextColor #c8c8c8",
        "UserName.setLabelFont Tahoma 140 100",
        "Progress.setColors #000000 #1f5ccf #6a6a6a",
    };
    EXPECT_EQ(calls, expected);

    // One picture serves as skin, over and down: all three looks are the button's own piece of it.
    const QImage piece = picture.copy(524, 438, 89, 32);
    ASSERT_EQ(dialog.cancel.images.size(), 3u);
    for (const QImage& image : dialog.cancel.images)
        EXPECT_EQ(image, piece);
}

TEST_F(SkinDialogTest, TheBackgroundIsTheSkinPictureUnscaled)
{
    // A picture a column wider than the window: the window shows it from (0, 0) at its own size.
    QImage wide = test::PatternPicture(641, 480);
    StandInDialog dialog({{kPicture, wide}, {kMask, StandInMask()}}, calls);
    dialog.UseMask(kMask);
    dialog.LoadSkin();
    dialog.cancel.hide();
    dialog.status.hide();
    dialog.userName.hide();
    dialog.preview.hide();
    dialog.progress.hide();
    const QImage shown = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const QPoint p : {QPoint(10, 10), QPoint(320, 240), QPoint(639, 300), QPoint(600, 470)})
        EXPECT_EQ(shown.pixel(p), wide.pixel(p)) << p.x() << "," << p.y();
}

TEST_F(SkinDialogTest, RegistrationLogLinesNameEachKindAndTheColourAsRedGreenBlue)
{
    StandInDialog dialog({}, calls);
    StandInButton login(&dialog, calls, "Login");
    QWidget edit(&dialog);
    dialog.AddButtonElement(login, 1034, QColor(255, 128, 64), "Login", false);
    dialog.AddEditElement(edit, 1012, QColor(16, 255, 16), "UserName");
    for (const char* line : {
             "KLSkinDialog: Skinning button element \"Cancel\" with mask color RGB(128,0,128)",
             "KLSkinDialog: Skinning static element \"Status\" with mask color RGB(255,255,128)",
             "KLSkinDialog: Skinning picture element \"Preview\" with mask color RGB(128,128,255)",
             "KLSkinDialog: Skinning progress element \"Progress\" with mask color RGB(64,64,64)",
             "KLSkinDialog: Skinning button element \"Login\" with mask color RGB(255,128,64)",
             "KLSkinDialog: Skinning edit element \"UserName\" with mask color RGB(16,255,16)",
         }) {
        EXPECT_TRUE(Logged(line)) << line << "\n" << Log();
    }
    // The element names each control for assistive tools as its description,
    // unless it has one already; the name stays free for what the user reads.
    EXPECT_EQ(dialog.status.accessibleDescription(), QStringLiteral("Status"));
    EXPECT_EQ(edit.accessibleDescription(), QStringLiteral("UserName"));
    EXPECT_TRUE(edit.accessibleName().isEmpty());
    StandInButton help(&dialog, calls, "Help");
    help.setAccessibleDescription(QStringLiteral("Help and support"));
    dialog.AddButtonElement(help, 1015, QColor(0, 255, 255), "Help", false);
    EXPECT_EQ(help.accessibleDescription(), QStringLiteral("Help and support"));
}

TEST_F(SkinDialogTest, WithoutASkinPictureTheDialogStaysUnskinned)
{
    StandInDialog dialog({{kMask, StandInMask()}}, calls);
    dialog.UseMask(kMask);
    dialog.LoadSkin();
    EXPECT_TRUE(Logged("KLSkinDialog: Failed to load skin with an err: 2")) << Log();
    ExpectAsMade(dialog);
}

TEST_F(SkinDialogTest, WithoutAMaskTheDialogKeepsItsShapeButIsPainted)
{
    StandInDialog dialog({{kPicture, picture}}, calls);
    dialog.UseMask(kMask);
    dialog.LoadSkin();
    EXPECT_TRUE(Logged("KLSkinDialog: Failed to load mask bitmap")) << Log();
    ExpectAsMade(dialog);
    const QImage shown = dialog.grab(QRect(100, 100, 1, 1)).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(0, 0), picture.pixel(100, 100));
}

TEST_F(SkinDialogTest, MissingOverAndDownPicturesLeaveButtonsWithTheirNormalLookOnly)
{
    constexpr int kOver = 300;
    constexpr int kDown = 301;
    StandInDialog dialog({{kPicture, picture}, {kMask, StandInMask()}}, calls);
    dialog.UsePictures(kPicture, kMask, kOver, kDown);
    dialog.LoadSkin();
    EXPECT_TRUE(dialog.isSkinned());
    for (const char* line :
         {"KLSkinDialog: Failed to load over bitmap", "KLSkinDialog: Failed to load down bitmap",
          "KLSkinButtonElement: no hover image for Cancel",
          "KLSkinButtonElement: no down image for Cancel"}) {
        EXPECT_TRUE(Logged(line)) << line << "\n" << Log();
    }
    EXPECT_FALSE(Logged("no skin image for Cancel"));
    ASSERT_EQ(dialog.cancel.images.size(), 3u);
    EXPECT_EQ(dialog.cancel.images[0], picture.copy(524, 438, 89, 32));
    EXPECT_TRUE(dialog.cancel.images[1].isNull());
    EXPECT_TRUE(dialog.cancel.images[2].isNull());
}

TEST_F(SkinDialogTest, AButtonLoadedFromFileTakesItsNormalLookFromTheCurrentDirectory)
{
    StandInDialog dialog({{kPicture, picture}, {kMask, MaskWithHelp()}}, calls);
    StandInButton help(&dialog, calls, "Help");
    dialog.AddButtonElement(help, 1015, QColor(0, 255, 255), "Help", true);
    dialog.UseMask(kMask);

    QImage file(29, 30, QImage::Format_RGB32);
    file.fill(qRgb(9, 8, 7));
    ASSERT_TRUE(file.save(QStringLiteral("Help.bmp"), "BMP")); // the test's working directory is its sandbox
    dialog.LoadSkin();

    ASSERT_EQ(help.images.size(), 3u);
    EXPECT_EQ(help.images[0].convertToFormat(QImage::Format_RGB32), file);
    EXPECT_TRUE(help.images[1].isNull());
    EXPECT_TRUE(help.images[2].isNull());
    EXPECT_FALSE(Logged("no skin image for Help"));
    EXPECT_TRUE(Logged("KLSkinButtonElement: no hover image for Help"));
}

TEST_F(SkinDialogTest, AButtonWhoseFileIsMissingLogsAllThreeLooks)
{
    StandInDialog dialog({{kPicture, picture}, {kMask, MaskWithHelp()}}, calls);
    StandInButton help(&dialog, calls, "Help");
    dialog.AddButtonElement(help, 1015, QColor(0, 255, 255), "Help", true);
    dialog.UseMask(kMask);
    dialog.LoadSkin();
    for (const char* line :
         {"KLSkinButtonElement: no skin image for Help", "KLSkinButtonElement: no hover image for Help",
          "KLSkinButtonElement: no down image for Help"}) {
        EXPECT_TRUE(Logged(line)) << line << "\n" << Log();
    }
    ASSERT_EQ(help.images.size(), 3u);
    EXPECT_TRUE(help.images[0].isNull());
    EXPECT_EQ(help.geometry(), QRect(563, 11, 29, 30));
}

TEST_F(SkinDialogTest, DraggingTheBackgroundMovesTheDialogAndSnapsIt)
{
    StandInDialog dialog({{kPicture, picture}, {kMask, StandInMask()}}, calls);
    dialog.UseMask(kMask);
    dialog.LoadSkin();
    dialog.move(40, 40);
    dialog.show();
    const QScreen* screen = dialog.screen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();

    // Dropped 7 pixels right of the work area's left edge and far from the others: it jumps to the edge.
    const QPoint nearLeft(area.left() + 7, area.top() + 40);
    test::DragWindow(dialog, QPoint(300, 20), nearLeft);
    EXPECT_EQ(dialog.pos(), QPoint(area.left(), area.top() + 40));
    EXPECT_EQ(dialog.pos(), SnapPosition(nearLeft, dialog.size(), screen->geometry(), area));

    // Dropped away from every edge: it stays where it was dropped.
    const QPoint free(area.left() + 30, area.top() + 40);
    test::DragWindow(dialog, QPoint(300, 20), free);
    EXPECT_EQ(dialog.pos(), SnapPosition(free, dialog.size(), screen->geometry(), area));
}

TEST(CropSkinPicture, APictureAtTwiceTheSizeIsCutAtTwiceTheSize)
{
    const QRect box(524, 438, 89, 32);
    const QImage plain = test::PatternPicture(640, 480);
    EXPECT_EQ(CropSkinPicture(plain, box), plain.copy(box));

    QImage sharp = test::PatternPicture(1280, 960);
    sharp.setDevicePixelRatio(2);
    const QImage piece = CropSkinPicture(sharp, box);
    EXPECT_EQ(piece.size(), QSize(178, 64));
    EXPECT_EQ(piece.devicePixelRatio(), 2.0);
    EXPECT_EQ(piece.pixel(0, 0), sharp.pixel(1048, 876));
    EXPECT_EQ(piece.pixel(177, 63), sharp.pixel(1225, 939));
    EXPECT_TRUE(CropSkinPicture(QImage(), box).isNull());
}

} // namespace
} // namespace quaylet
