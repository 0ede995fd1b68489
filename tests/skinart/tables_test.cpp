// The skins' element tables hold the designed rows, in registration order, so
// the dialogs that register them get the designed layout and dressing.

#include "maskfacts.h"

#include "skin/skintables.h"

#include <gtest/gtest.h>

#include <vector>

namespace quaylet::test {
namespace {

using Kind = SkinElementKind;

struct Row {
    const char* name;
    Kind kind;
    int id;
    QRgb mask;
    // Labels: text colour, size in tenths, link, bold. Progress: background, bar, border.
    QRgb c1 = 0, c2 = 0, c3 = 0;
    int size = 0;
    bool link = false, bold = false;
};

Row LabelRow(const char* name, int id, QRgb mask, QRgb text, int size, bool link, bool bold)
{
    return {name, Kind::Static, id, mask, text, 0, 0, size, link, bold};
}

struct Skin {
    const SkinTable& (*table)();
    int skin, mask;
    int width, height;
    std::vector<Row> rows;
};

std::vector<Skin> Designed()
{
    const std::vector<Row> signIn{
        {"UserName", Kind::Edit, 1012, qRgb(16, 255, 16)},
        {"Pwd", Kind::Edit, 1013, qRgb(124, 230, 124)},
        LabelRow("RegLinkLab", 1038, qRgb(16, 128, 16), qRgb(247, 198, 66), 84, true, true),
        LabelRow("RegLinkLab", 1042, qRgb(0, 204, 255), qRgb(255, 0, 0), 84, false, false),
        {"OKBut", Kind::Button, 1, qRgb(255, 0, 255)},
        {"CancelBut", Kind::Button, 2, qRgb(12, 41, 96)},
    };
    return {
        {MainWindowSkin,
         186,
         187,
         640,
         480,
         {{"Cancel", Kind::Button, 1017, qRgb(128, 0, 128)},
          {"Close", Kind::Button, 1016, qRgb(0, 255, 128)},
          {"Help", Kind::Button, 1015, qRgb(0, 255, 255)},
          {"Menu", Kind::Button, 1018, qRgb(255, 255, 0)},
          {"Login", Kind::Button, 1034, qRgb(255, 128, 64)},
          LabelRow("Count", 1019, qRgb(255, 0, 255), qRgb(255, 255, 255), 84, false, false),
          LabelRow("Status", 1021, qRgb(255, 255, 128), qRgb(255, 255, 255), 140, false, false),
          LabelRow("UserName", 1026, qRgb(128, 128, 64), qRgb(200, 200, 200), 140, true, false),
          {"Preview", Kind::Picture, 1000, qRgb(128, 128, 255)},
          {"Preview", Kind::Picture, 1024, qRgb(128, 128, 255)},
          {"Progress", Kind::Progress, 1023, qRgb(64, 64, 64), qRgb(0, 0, 0), qRgb(31, 92, 207),
           qRgb(106, 106, 106)}}},
        {SignInSkin, 188, 189, 369, 260, signIn},
        {SignedInSkin, 225, 226, 369, 260, signIn},
        {AboutSkin,
         190,
         191,
         362,
         219,
         {LabelRow("AboutLabel", 1041, qRgb(16, 128, 16), qRgb(255, 255, 255), 84, false, false),
          {"Close", Kind::Button, 1043, qRgb(188, 190, 192)}}},
        {UploadCompletedSkin,
         192,
         193,
         640,
         480,
         {LabelRow("LinkLab", 1044, qRgb(0, 255, 0), qRgb(255, 255, 255), 84, true, true),
          LabelRow("ReturnLab", 1045, qRgb(0, 255, 255), qRgb(255, 255, 255), 140, true, true),
          {"Help", Kind::Button, 1015, qRgb(255, 255, 0)}}},
    };
}

TEST(SkinTables, HoldTheDesignedRowsInRegistrationOrder)
{
    const std::vector<Skin> designed = Designed();
    ASSERT_EQ(AllSkinTables().size(), designed.size());
    for (std::size_t s = 0; s < designed.size(); ++s) {
        const Skin& want = designed[s];
        const SkinTable& table = want.table();
        SCOPED_TRACE(std::string(table.dialog));
        EXPECT_EQ(AllSkinTables()[s], &table);
        EXPECT_EQ(table.skinId, want.skin);
        EXPECT_EQ(table.overId, want.skin);
        EXPECT_EQ(table.downId, want.skin);
        EXPECT_EQ(table.maskId, want.mask);
        EXPECT_EQ(table.transparent, qRgb(255, 0, 0));
        EXPECT_EQ(table.width, want.width);
        EXPECT_EQ(table.height, want.height);
        ASSERT_EQ(table.elements.size(), want.rows.size());
        for (std::size_t i = 0; i < want.rows.size(); ++i) {
            const Row& row = want.rows[i];
            const SkinElementRow& got = table.elements[i];
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.id));
            EXPECT_EQ(got.name, row.name);
            EXPECT_EQ(got.kind, row.kind);
            EXPECT_EQ(got.controlId, row.id);
            EXPECT_EQ(RgbText(got.maskColour), RgbText(row.mask));
            EXPECT_FALSE(got.loadFromFile);
            if (row.kind == Kind::Static) {
                EXPECT_EQ(RgbText(got.label.textColour), RgbText(row.c1));
                EXPECT_EQ(got.label.fontFace, "Tahoma");
                EXPECT_EQ(got.label.fontSizeTenths, row.size);
                EXPECT_EQ(got.label.link, row.link);
                EXPECT_EQ(got.label.bold, row.bold);
            }
            if (row.kind == Kind::Progress) {
                EXPECT_EQ(RgbText(got.progress.background), RgbText(row.c1));
                EXPECT_EQ(RgbText(got.progress.bar), RgbText(row.c2));
                EXPECT_EQ(RgbText(got.progress.border), RgbText(row.c3));
            }
        }
    }
}

} // namespace
} // namespace quaylet::test
