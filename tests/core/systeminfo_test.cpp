#include "core/stringtable.h"
#include "core/systeminfo.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using namespace quaylet;

TEST(SystemInfoTest, NamesKernelAndDistribution)
{
    test::WriteFile("os-release", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n");
    SystemInfo info("os-release");
    EXPECT_EQ(info.kernel().rfind("Linux ", 0), 0u);
    EXPECT_EQ(info.distribution(), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(info.launchLine(), "CKestrelioClientApp: Launching app on " + info.kernel() +
                                     " (Debian GNU/Linux 12 (bookworm))");

    SystemInfo bare("missing-os-release");
    EXPECT_EQ(bare.launchLine(), "CKestrelioClientApp: Launching app on " + bare.kernel());
    EXPECT_EQ(ParseOsReleaseName("NAME=Alpine\n"), "Alpine");
}

TEST(StringTableTest, TextsByNumber)
{
    EXPECT_STREQ(LoadString(str::Ready), "Ready");
    EXPECT_STREQ(LoadString(str::InstanceName), "KestrelioClient");
    EXPECT_STREQ(LoadString(str::CountFormat), "% d of %d");
    EXPECT_STREQ(LoadString(str::InvalidMovieMakerText), "Use Windows Movie Maker to save as Movie File");
    EXPECT_STREQ(LoadString(str::AppTitleEmpty), "");
    EXPECT_STREQ(LoadString(12345), "");
}
