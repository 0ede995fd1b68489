#include "platform/tempdir.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <pwd.h>
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

// Anything at the folder's place that we do not own alone could let another
// user read or plant prepared copies: refused, and left as it is.
TEST(PrivateTempDirTest, RefusesARootThatIsNotOurs)
{
    // Only root can make a folder that belongs to another user (CI runs as root).
    const passwd* nobody = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
    const std::string elsewhere = quaylet::test::SandboxPath("elsewhere");
    fs::create_directories(elsewhere);
    ::chmod(elsewhere.c_str(), 0700);
    struct Case {
        const char* what;
        bool needsRoot;
        std::function<void(const std::string&)> plant;
    } cases[] = {
        {"owned by another user", true,
         [&](const std::string& root) {
             fs::create_directories(root);
             ::chmod(root.c_str(), 0700);
             ASSERT_EQ(::chown(root.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
         }},
        {"a link to a private folder", false, [&](const std::string& root) { fs::create_directory_symlink(elsewhere, root); }},
        {"a file", false, [](const std::string& root) { quaylet::test::WriteFile(root, ""); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        if (c.needsRoot && !nobody) {
            std::printf("skipped without root: %s\n", c.what);
            continue;
        }
        const std::string base = quaylet::test::SandboxPath("planted" + std::to_string(n++));
        fs::create_directories(base);
        c.plant(rootOf(base));
        PrivateTempDir dir(base);
        EXPECT_FALSE(dir.valid()) << c.what;
        EXPECT_TRUE(dir.path().empty()) << c.what;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << c.what;
    }
}

TEST(PrivateTempDirTest, PrivateEvenUnderAPermissiveUmask)
{
    const std::string base = quaylet::test::SandboxPath("open");
    fs::create_directories(base);
    const mode_t saved = ::umask(0);
    PrivateTempDir dir(base);
    ::umask(saved);
    ASSERT_TRUE(dir.valid()) << dir.error();
    for (const std::string& path : {rootOf(base), dir.path()}) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << path;
    }
}
