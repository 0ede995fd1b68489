#include "core/logfolder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace quaylet;

TEST(LogFolderTest, CurrentDirectoryUnlessHomeOrUnwritable)
{
    struct Case {
        const char* what;
        WorkingDirFacts facts;
        std::string folder;
    } cases[] = {
        {"a writable folder that is not home", {false, true, "/s", "/home/u"}, ""},
        {"home", {true, true, "/s", "/home/u"}, "/s/quaylet"},
        {"unwritable", {false, false, "/s", "/home/u"}, "/s/quaylet"},
        {"trailing slashes of the state home", {true, true, "/s//", "/home/u"}, "/s/quaylet"},
        {"no state home", {true, true, "", "/home/u"}, "/home/u/.local/state/quaylet"},
        {"a relative state home is ignored", {false, false, "state", "/home/u"}, "/home/u/.local/state/quaylet"},
        {"nowhere better to go", {false, false, "", ""}, ""},
        {"nowhere absolute to go", {true, true, "state", "home"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLogFolder(c.facts), c.folder) << c.what;
}

TEST(LogFolderTest, StartedInHomeTheLogGoesToAPrivateStateFolder)
{
    // Home reached through a link is still home.
    const std::string work = std::filesystem::current_path();
    std::filesystem::create_directory_symlink(work, test::SandboxPath("linkedhome"));
    ::setenv("HOME", test::SandboxPath("linkedhome").c_str(), 1);
    ::setenv("XDG_STATE_HOME", test::SandboxPath("state/deeper").c_str(), 1);

    EXPECT_EQ(LogFilePath("Quaylet.log"), test::SandboxPath("state/deeper/quaylet/Quaylet.log"));
    struct stat st{};
    ASSERT_EQ(::stat(test::SandboxPath("state/deeper/quaylet").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Without a state home: the default below home, made on demand.
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(LogFilePath("Quaylet.log"), test::SandboxPath("linkedhome/.local/state/quaylet/Quaylet.log"));
    EXPECT_TRUE(test::PathExists(work + "/.local/state/quaylet"));

    ::setenv("HOME", test::SandboxPath("elsewhere").c_str(), 1);
    EXPECT_EQ(LogFilePath("Quaylet.log"), "Quaylet.log");
}

TEST(LogFolderTest, AnUnwritableCurrentDirectorySendsTheLogToTheStateFolder)
{
    const std::string locked = test::SandboxPath("work/locked");
    std::filesystem::create_directory(locked);
    ::setenv("HOME", test::SandboxPath("home").c_str(), 1);
    // The child's own expectations do not reach this process: it answers
    // with its exit status and says on standard error what differed.
    const std::string expected = test::SandboxPath("state/quaylet/Quaylet.log");
    EXPECT_EQ(test::RunUnprivileged([&] {
                  if (::chmod(locked.c_str(), 0555) != 0 || ::chdir(locked.c_str()) != 0)
                      return false;
                  const std::string path = LogFilePath("Quaylet.log");
                  // A state folder that cannot be made leaves the log where it was.
                  ::setenv("XDG_STATE_HOME", (locked + "/state").c_str(), 1);
                  const std::string fallback = LogFilePath("Quaylet.log");
                  std::fprintf(stderr, "log paths: %s, %s\n", path.c_str(), fallback.c_str());
                  return path == expected && fallback == "Quaylet.log" &&
                         test::PathExists(test::SandboxPath("state/quaylet"));
              }),
              0);
}
