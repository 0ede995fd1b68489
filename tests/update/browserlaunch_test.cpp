#include "update/browserlaunch.h"

#include "support/processes.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace quaylet {
namespace {

using test::PathExists;
using test::ReadFile;
using test::SandboxPath;
using test::WriteFile;

bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 200 && !PathExists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return PathExists(path);
}

// A stand-in browser: it writes its arguments, one a line after their count,
// then stays until the test releases it (or half a minute has passed).
std::string WriteFakeBrowser(const std::string& dir)
{
    const std::string script = dir + "/fake browser";
    WriteFile(script,
              "#!/bin/sh\n"
              "dir='" +
                  dir +
                  "'\n"
                  "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$dir/args.tmp\"\n"
                  "mv \"$dir/args.tmp\" \"$dir/args\"\n"
                  "i=0\n"
                  "while [ ! -e \"$dir/release\" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
                  "touch \"$dir/done\"\n");
    ::chmod(script.c_str(), 0755);
    return script;
}

TEST(BrowserLaunchTest, StartsBrowserDetachedWithTheAddressAsOneArgument)
{
    const std::string dir = SandboxPath("browser");
    const std::string script = WriteFakeBrowser(dir);
    ::setenv("BROWSER", (script + ":/usr/bin/false").c_str(), 1);
    const std::string address = "http://127.0.0.1:1/a b?q=\"x\";$(touch " + dir + "/pwned)&r='y'`id`";

    ASSERT_TRUE(OpenUrlWithShell(address));
    // Returned while the browser still waits for its release: never waited for.
    ASSERT_TRUE(WaitForFile(dir + "/args"));
    EXPECT_FALSE(PathExists(dir + "/done"));
    // Not our child, so it can never be left as our zombie.
    for (const test::ChildInfo& child : test::ChildrenOfThisProcess())
        ADD_FAILURE() << "child left behind: " << child.pid << " " << child.name;

    EXPECT_EQ(ReadFile(dir + "/args"), "1\n" + address + "\n");
    EXPECT_FALSE(PathExists(dir + "/pwned"));

    WriteFile(dir + "/release", "");
    EXPECT_TRUE(WaitForFile(dir + "/done"));
}

TEST(BrowserLaunchTest, ReportsWhenNoBrowserCouldBeStarted)
{
    WriteFile(SandboxPath("empty/.keep"), "");
    ::setenv("PATH", SandboxPath("empty").c_str(), 1);
    ::setenv("BROWSER", SandboxPath("missing").c_str(), 1);
    EXPECT_FALSE(OpenUrlWithShell("http://127.0.0.1:1/"));
}

TEST(BrowserLaunchTest, TriesTheFirstBrowserEntryThenTheDesktopOpener)
{
    struct Case {
        const char* browser; // nullptr: unset
        std::vector<std::string> programs;
    };
    const Case cases[] = {
        {nullptr, {"xdg-open"}},
        {"", {"xdg-open"}},
        {":firefox", {"xdg-open"}},
        {"/opt/my browser/run %s", {"/opt/my browser/run %s", "xdg-open"}},
        {"/usr/bin/first:/usr/bin/second", {"/usr/bin/first", "xdg-open"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.browser ? c.browser : "(unset)");
        if (c.browser)
            ::setenv("BROWSER", c.browser, 1);
        else
            ::unsetenv("BROWSER");
        std::vector<std::pair<std::string, std::vector<std::string>>> starts;
        const BrowserStarter old = SetBrowserStarter([&](const std::string& program, const auto& arguments) {
            starts.emplace_back(program, arguments);
            return false;
        });
        EXPECT_FALSE(old);
        EXPECT_FALSE(OpenUrlWithShell("http://a/ b"));
        ASSERT_EQ(starts.size(), c.programs.size());
        for (size_t i = 0; i < starts.size(); ++i) {
            EXPECT_EQ(starts[i].first, c.programs[i]);
            EXPECT_EQ(starts[i].second, std::vector<std::string>{"http://a/ b"});
        }
        EXPECT_TRUE(SetBrowserStarter({}));
    }
}

TEST(BrowserLaunchTest, StopsAtTheFirstProgramThatStarts)
{
    ::setenv("BROWSER", "/usr/bin/mine", 1);
    std::vector<std::string> programs;
    SetBrowserStarter([&](const std::string& program, const std::vector<std::string>&) {
        programs.push_back(program);
        return true;
    });
    OpenUrlInBrowser("http://a/");
    EXPECT_EQ(programs, std::vector<std::string>{"/usr/bin/mine"});
    SetBrowserStarter({});
}

} // namespace
} // namespace quaylet
