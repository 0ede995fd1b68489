#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skingallery.h"
#include "skin/skinlayout.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <string>

namespace quaylet {
namespace {

bool IsOfKind(const QWidget& control, const SkinElementRow& row)
{
    switch (row.kind) {
    case SkinElementKind::Button:
        // Only the bar's Cancel button can hide in the bar.
        return (row.name == "Cancel") == (qobject_cast<const CCancelButton*>(&control) != nullptr) &&
               qobject_cast<const CHoverButton*>(&control) != nullptr;
    case SkinElementKind::Static:
        return qobject_cast<const CSkinStatic*>(&control) != nullptr;
    case SkinElementKind::Picture:
        return qobject_cast<const CPictureCtrl*>(&control) != nullptr;
    case SkinElementKind::Progress:
        return qobject_cast<const CSmoothProgress*>(&control) != nullptr;
    case SkinElementKind::Edit:
        return qobject_cast<const QLineEdit*>(&control) != nullptr;
    }
    return false;
}

// Every stand-in against the layout of its own mask: the window is the mask's
// usable size and each control whose colour the mask holds sits on its box;
// a control whose colour gives it no pixels is hidden rather than left in a corner.
TEST(SkinGallery, EveryStandInPlacesEachControlOnItsMaskBoxAndHasTheMasksSize)
{
    for (const GalleryEntry& entry : GalleryEntries()) {
        const SkinTable& table = entry.table;
        SCOPED_TRACE(std::string(entry.name));
        SkinGalleryDialog dialog(table, entry.scene);

        const QImage mask = LoadSkinPictureResource(table.maskId, 1).image;
        ASSERT_FALSE(mask.isNull());
        std::vector<QRgb> colours;
        for (const SkinElementRow& row : table.elements)
            colours.push_back(row.maskColour);
        const std::optional<SkinLayout> layout = BuildSkinLayout(mask, table.transparent, colours);
        ASSERT_TRUE(layout.has_value());

        EXPECT_TRUE(dialog.isSkinned());
        EXPECT_EQ(dialog.size(), QSize(MaskWidthUsed(mask.width()), mask.height()));
        for (std::size_t i = 0; i < table.elements.size(); ++i) {
            const SkinElementRow& row = table.elements[i];
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.controlId));
            QWidget& control = dialog.control(i);
            EXPECT_TRUE(IsOfKind(control, row));
            if (layout->boxes[i]) {
                EXPECT_EQ(control.geometry(), *layout->boxes[i]);
            } else {
                EXPECT_TRUE(control.isHidden());
            }
        }
    }
}

TEST(SkinGallery, MainWindowStatusAndCancelSitInTheBarTheSecondPreviewIsHiddenAndSignInIsCutTo368)
{
    SkinGalleryDialog main(MainWindowSkin(), GalleryScene::Busy);
    EXPECT_EQ(main.control(6).geometry(), QRect(162, 439, 334, 29)); // Status
    EXPECT_EQ(main.control(0).geometry(), QRect(524, 438, 89, 32));  // Cancel
    EXPECT_TRUE(main.control(9).isHidden());                         // the second Preview
    EXPECT_FALSE(main.control(8).isHidden());                        // the preview while busy

    SkinGalleryDialog signIn(SignInSkin());
    EXPECT_EQ(signIn.width(), 368);
}

} // namespace
} // namespace quaylet
