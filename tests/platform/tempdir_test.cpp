#include "platform/tempdir.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using quaylet::platform::PrivateTempDir;

namespace {
std::string rootOf(const std::string& base)
{
    return base + "/quaylet-" + std::to_string(::getuid());
}
} // namespace

TEST(PrivateTempDirTest, EachInstanceGetsItsOwnPrivateDirectoryRemovedAtTheEnd)
{
    const std::string base = quaylet::test::SandboxPath("t1");
    fs::create_directories(base);
    std::string first;
    {
        PrivateTempDir a(base), b(base);
        ASSERT_TRUE(a.valid()) << a.error();
        ASSERT_TRUE(b.valid());
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(a.path().back(), '/');
        struct stat st {};
        ASSERT_EQ(::stat(rootOf(base).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        first = a.path();
        quaylet::test::WriteFile(first + "temp_clean.image", "x");
    }
    EXPECT_FALSE(fs::exists(first));
}

TEST(PrivateTempDirTest, StaleDirectoriesAreSweptLiveOnesKept)
{
    const std::string base = quaylet::test::SandboxPath("t2");
    fs::create_directories(base);
    PrivateTempDir live(base);
    ASSERT_TRUE(live.valid());
    // A directory whose process died: its lock file is there but nobody holds it.
    const std::string stale = rootOf(base) + "/p999999-dead00";
    quaylet::test::WriteFile(stale + "/.lock", "");
    quaylet::test::WriteFile(stale + "/TR1.jpeg", "old");
    PrivateTempDir next(base);
    ASSERT_TRUE(next.valid());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live.path()));
}

TEST(PrivateTempDirTest, RefusesARootOpenToOthers)
{
    const std::string base = quaylet::test::SandboxPath("t3");
    fs::create_directories(rootOf(base));
    fs::permissions(rootOf(base), fs::perms::owner_all | fs::perms::others_all, fs::perm_options::replace);
    PrivateTempDir dir(base);
    EXPECT_FALSE(dir.valid());
    EXPECT_FALSE(dir.error().empty());
}
