#include "dialogs/aboutdlg.h"
#include "skin/hoverbutton.h"
#include "skin/skinstatic.h"
#include "skin/skintables.h"
#include "skin/widgetevents.h"

#include "dialogfixtures.h"

#include <gtest/gtest.h>

namespace quaylet {
namespace {

TEST(AboutDialogTest, TheLabelNamesTheProgramWithAllFourVersionPartsOrNone)
{
    struct Case {
        std::optional<std::array<int, 4>> version;
        const char* text;
        Qt::Alignment horizontal;
    };
    const Case cases[] = {
        {std::array{6, 7, 0, 2}, "Glimmerly for Linux 6.7.0.2", Qt::AlignHCenter},
        {std::array{1, 0, 0, 0}, "Glimmerly for Linux 1.0.0.0", Qt::AlignHCenter},
        {std::nullopt, "Glimmerly for Linux", Qt::AlignLeft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CAboutDlg dialog(nullptr, c.version);
        EXPECT_EQ(dialog.label().text().toStdString(), c.text);
        EXPECT_EQ(dialog.label().alignment() & Qt::AlignHorizontal_Mask, c.horizontal);
    }
    const auto [major, minor, patch, tweak] = GetOwnVersion();
    EXPECT_EQ(CAboutDlg().label().text(),
              QStringLiteral("Glimmerly for Linux %1.%2.%3.%4").arg(major).arg(minor).arg(patch).arg(tweak));
}

TEST(AboutDialogTest, CloseAndEnterEndWithOkEscapeWithCancel)
{
    struct Case {
        const char* what;
        std::function<void(CAboutDlg&)> end;
        int result;
    };
    const Case cases[] = {
        {"Close", [](CAboutDlg& d) { test::Click(test::Find<CHoverButton>(d, SkinControl::kAboutClose)); },
         QDialog::Accepted},
        {"Enter", [](CAboutDlg& d) { test::Key(d, Qt::Key_Return); }, QDialog::Accepted},
        {"Escape", [](CAboutDlg& d) { test::Key(d, Qt::Key_Escape); }, QDialog::Rejected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CAboutDlg dialog;
        EXPECT_EQ(test::ExecWhile(dialog, [&] { c.end(dialog); }), c.result);
    }
}

} // namespace
} // namespace quaylet
