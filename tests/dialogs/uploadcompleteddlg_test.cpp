#include "dialogs/uploadcompleteddlg.h"
#include "skin/hoverbutton.h"
#include "skin/skinfixtures.h"
#include "skin/skinstatic.h"
#include "skin/skintables.h"
#include "skin/widgetevents.h"

#include "dialogfixtures.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <gtest/gtest.h>

namespace quaylet {
namespace {

using test::ExecWhile;
using test::Find;
using test::WaitUntil;

// The main window's stand-in: where the dialog takes its place.
class MainWindowStandIn final : public QWidget {
public:
    explicit MainWindowStandIn(QPoint at)
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setGeometry(QRect(at, QSize(640, 480)));
        show();
    }
};

TEST(UploadCompletedDialogTest, TakesTheMainWindowsPlaceOnePixelLowerInItsBand)
{
    for (const bool onTop : {true, false}) {
        SCOPED_TRACE(onTop ? "always on top" : "normal");
        MainWindowStandIn main({100, 200});
        CUploadCompletedDlg dialog(onTop, false, &main);
        const int result = ExecWhile(dialog, [&] {
            EXPECT_EQ(dialog.pos(), QPoint(100, 201));
            EXPECT_EQ(dialog.size(), QSize(640, 480));
            EXPECT_EQ(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            test::Key(dialog, Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dialog.LastPosition(), QPoint(100, 201));
    }
}

TEST(UploadCompletedDialogTest, LastPositionFollowsADragByTheUser)
{
    MainWindowStandIn main({100, 200});
    CUploadCompletedDlg dialog(false, false, &main);
    QPoint dragged;
    ExecWhile(dialog, [&] {
        // Well inside the screen, away from the edges it snaps to.
        test::DragWindow(dialog, {300, 100}, {70, 50});
        WaitUntil([&] { return dialog.pos() == QPoint(70, 50); }, 2000);
        dragged = dialog.pos();
        test::Key(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(dragged, QPoint(70, 50));
    EXPECT_EQ(dialog.LastPosition(), QPoint(70, 50));
}

TEST(UploadCompletedDialogTest, EscapeIsIgnoredAndTheSystemCloseEndsWithCancel)
{
    MainWindowStandIn main({100, 200});
    CUploadCompletedDlg dialog(false, false, &main);
    const int result = ExecWhile(dialog, [&] {
        test::Key(dialog, Qt::Key_Escape);
        WaitUntil([] { return false; }, 100);
        EXPECT_TRUE(dialog.isVisible());
        dialog.close(); // what Alt+F4 and the window menu's Close deliver
    });
    EXPECT_EQ(result, QDialog::Rejected);
}

TEST(UploadCompletedDialogTest, TheReturnLabelEndsWithOk)
{
    MainWindowStandIn main({100, 200});
    CUploadCompletedDlg dialog(false, false, &main);
    const int result = ExecWhile(dialog, [&] {
        CSkinStatic& back = Find<CSkinStatic>(dialog, SkinControl::kReturnLabel);
        EXPECT_TRUE(back.text().isEmpty());
        EXPECT_EQ(back.alignment(), Qt::AlignCenter);
        test::Click(back);
    });
    EXPECT_EQ(result, QDialog::Accepted);
}

TEST(UploadCompletedDialogTest, TheLinkOpensTheAccountPageAndHelpAsksTheMainWindowBothStayingOpen)
{
    test::OpenedLinks links;
    MainWindowStandIn main({100, 200});
    CUploadCompletedDlg dialog(true, false, &main);
    dialog.SetAccountPageAddress("http://127.0.0.1:8080/alice");
    int helps = 0;
    QObject::connect(&dialog, &CUploadCompletedDlg::helpRequested, [&helps] { ++helps; });
    const int result = ExecWhile(dialog, [&] {
        CSkinStatic& link = Find<CSkinStatic>(dialog, SkinControl::kGalleryLink);
        EXPECT_TRUE(link.text().isEmpty());
        test::Click(link);
        test::Click(Find<CHoverButton>(dialog, SkinControl::kHelp));
        WaitUntil([] { return false; }, 100);
        EXPECT_TRUE(dialog.isVisible());
        test::Key(dialog, Qt::Key_Enter);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(links.addresses, std::vector<std::string>{"http://127.0.0.1:8080/alice"});
    EXPECT_EQ(helps, 1);
}

TEST(UploadCompletedDialogTest, TrayClicksFollowTheFirstClickRuleAndExitEndsEvenAHiddenDialog)
{
    MainWindowStandIn main({100, 200});
    main.hide(); // as the success path leaves it
    CUploadCompletedDlg dialog(false, false, &main);
    bool execReturned = false;
    int exits = 0;
    QObject::connect(&dialog, &CUploadCompletedDlg::exitAfterClose, [&] {
        EXPECT_TRUE(execReturned);
        EXPECT_FALSE(dialog.isVisible());
        ++exits;
    });
    const auto trayClick = [&] { dialog.SetDialogShown(!dialog.IsDialogShown()); };
    const int result = ExecWhile(dialog, [&] {
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.IsDialogShown());
        trayClick(); // only brings it to the front
        EXPECT_TRUE(dialog.isVisible());
        trayClick();
        EXPECT_FALSE(dialog.isVisible());
        WaitUntil([] { return false; }, 100);
        EXPECT_FALSE(execReturned); // hidden, still running
        trayClick();
        EXPECT_TRUE(dialog.isVisible());
        trayClick();
        EXPECT_FALSE(dialog.isVisible());
        dialog.RequestExit();
    });
    execReturned = true;
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(exits, 0); // not before the caller's own steps
    EXPECT_TRUE(WaitUntil([&] { return exits == 1; }, 2000));
}

TEST(UploadCompletedDialogTest, ExitAfterCloseReachesTheCallerEvenWhenItDestroysTheDialogAtOnce)
{
    MainWindowStandIn main({100, 200});
    int exits = 0;
    {
        CUploadCompletedDlg dialog(true, false, &main);
        QObject::connect(&dialog, &CUploadCompletedDlg::exitAfterClose, &main, [&exits] { ++exits; });
        EXPECT_EQ(ExecWhile(dialog, [&] { dialog.RequestExit(); }), QDialog::Rejected);
        EXPECT_EQ(exits, 0);
    }
    EXPECT_EQ(exits, 1);
    // An ending other than Exit owes nothing.
    {
        CUploadCompletedDlg dialog(true, false, &main);
        QObject::connect(&dialog, &CUploadCompletedDlg::exitAfterClose, &main, [&exits] { ++exits; });
        ExecWhile(dialog, [&] { dialog.close(); });
    }
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(exits, 1);
}

} // namespace
} // namespace quaylet
