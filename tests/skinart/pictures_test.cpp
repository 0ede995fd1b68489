// Every skin picture is among the resources at its designed size and at twice
// that size, as a 24-bit picture (no alpha: the window's outline is the mask's job).

#include "maskfacts.h"

#include "skin/skinresources.h"
#include "skin/skintables.h"

#include <gtest/gtest.h>

namespace quaylet::test {
namespace {

TEST(SkinPictures, EveryPictureAndMaskIsThereAtItsSizeAndPicturesAtTwice)
{
    RegisterSkinResources();
    RegisterSkinResources();
    for (const SkinTable* table : AllSkinTables()) {
        SCOPED_TRACE(std::string(table->dialog));
        const QSize size(table->width, table->height);
        for (int id : {table->skinId, table->overId, table->downId}) {
            const QImage picture(SkinResourcePath(id));
            const QImage sharp(SkinResourcePath2x(id));
            ASSERT_FALSE(picture.isNull()) << id;
            ASSERT_FALSE(sharp.isNull()) << id;
            EXPECT_EQ(picture.size(), size);
            EXPECT_EQ(sharp.size(), size * 2);
            EXPECT_FALSE(picture.hasAlphaChannel());
            EXPECT_FALSE(sharp.hasAlphaChannel());
        }
        const QImage mask(SkinResourcePath(table->maskId));
        ASSERT_FALSE(mask.isNull());
        EXPECT_EQ(mask.size(), size);
        EXPECT_FALSE(mask.hasAlphaChannel());
    }
}

} // namespace
} // namespace quaylet::test
