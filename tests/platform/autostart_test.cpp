#include "platform/autostart.h"

#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace quaylet::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::SandboxPath;
using test::WriteFile;

// A folder of the running test's own, so the tests also pass in one process.
std::string Folder()
{
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "/config";
}

// The value of a key of the entry's group, as written (still escaped).
std::string RawValue(const std::string& entryText, const std::string& key)
{
    std::istringstream lines(entryText);
    std::string line;
    while (std::getline(lines, line))
        if (line.starts_with(key + "="))
            return line.substr(key.size() + 1);
    return {};
}

// A string value read back as a desktop reads it: its escapes undone. An
// unknown escape fails the test.
std::string StringValue(const std::string& raw)
{
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            value += raw[i];
            continue;
        }
        const char next = ++i < raw.size() ? raw[i] : '?';
        const std::map<char, char> escapes{{'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
        EXPECT_TRUE(escapes.contains(next)) << raw;
        value += escapes.contains(next) ? escapes.at(next) : next;
    }
    return value;
}

// An Exec value read back as a desktop reads it: string escapes first, then
// the quoting of arguments, then "%%" as a literal '%'. Any other field code
// or stray character fails the test.
std::vector<std::string> ExecArguments(const std::string& raw)
{
    const std::string value = StringValue(raw);
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < value.size()) {
        if (value[i] == ' ') {
            ++i;
            continue;
        }
        std::string argument;
        const bool quoted = value[i] == '"';
        const std::string special = "\"`$\\";
        for (i += quoted; i < value.size() && (quoted ? value[i] != '"' : value[i] != ' '); ++i) {
            if (quoted && value[i] == '\\' && i + 1 < value.size() &&
                special.find(value[i + 1]) != std::string::npos) {
                ++i;
            } else if (quoted) {
                EXPECT_EQ(special.find(value[i]), std::string::npos) << value;
            }
            if (value[i] == '%') {
                EXPECT_TRUE(i + 1 < value.size() && value[i + 1] == '%') << "field code in " << value;
                ++i;
            }
            argument += value[i];
        }
        EXPECT_TRUE(!quoted || i < value.size()) << "unterminated quote in " << value;
        i += quoted;
        arguments.push_back(argument);
    }
    return arguments;
}

// The folder's names and contents, to compare before and after.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

TEST(AutostartEntryTest, ExecLineStartsTheProgramHiddenWhateverItsPathHolds)
{
    const std::string paths[] = {
        "/usr/bin/quaylet",
        "/opt/My Apps/quaylet",
        "/home/u/\"quoted\" 'single'/quaylet",
        "/home/u/$HOME/`id`/$(id)/quaylet",
        "/home/u/back\\slash\\/quaylet",
        "/home/u/100% %f %u/quaylet",
        "/home/u/tab\there/new\nline/quaylet",
        "/home/j\xC3\xB6rg/\xE5\x86\x99\xE7\x9C\x9F/quaylet",
    };
    AutostartEntry entry(SandboxPath(Folder()));
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(entry.write(path));
        const std::string text = ReadFile(entry.path());
        EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
        EXPECT_EQ(RawValue(text, "Type"), "Application");
        EXPECT_FALSE(RawValue(text, "Name").empty());
        EXPECT_EQ(ExecArguments(RawValue(text, "Exec")), (std::vector<std::string>{path, "/s"}));
        // Once the program is gone the desktop skips the entry.
        EXPECT_EQ(StringValue(RawValue(text, "TryExec")), path);
        EXPECT_EQ(RawValue(text, "Icon"), "example.glimmerly.Quaylet");
    }
    // The rules' own example: four backslashes for one, two before a dollar.
    ASSERT_TRUE(entry.write("/a b/\"q\"$x\\y%z"));
    EXPECT_EQ(RawValue(ReadFile(entry.path()), "Exec"), "\"/a b/\\\\\"q\\\\\"\\\\$x\\\\\\\\y%%z\" /s");
}

TEST(AutostartEntryTest, TogglingTwiceLeavesTheFolderAsItWas)
{
    const std::string config = SandboxPath(Folder());
    WriteFile(config + "/autostart/other.desktop", "[Desktop Entry]\nType=Application\nExec=other\n");
    const auto before = Snapshot(config + "/autostart");

    AutostartEntry entry(config);
    EXPECT_EQ(entry.path(), config + "/autostart/GlimmerlyUtility.desktop");
    EXPECT_FALSE(entry.exists());
    ASSERT_TRUE(entry.write("/usr/bin/quaylet"));
    EXPECT_TRUE(entry.exists());
    // Nothing but the entry itself is added: no staged copy is left behind.
    EXPECT_EQ(Snapshot(config + "/autostart").size(), before.size() + 1);
    ASSERT_TRUE(entry.remove());
    EXPECT_FALSE(entry.exists());
    EXPECT_EQ(Snapshot(config + "/autostart"), before);
    EXPECT_TRUE(entry.remove()); // already gone
}

TEST(AutostartEntryTest, CreatesTheMissingFoldersPrivately)
{
    const std::string config = SandboxPath("fresh/config");
    AutostartEntry entry(config);
    ASSERT_TRUE(entry.write("/usr/bin/quaylet"));
    EXPECT_TRUE(entry.exists());
    for (const std::string& folder : {SandboxPath("fresh"), config, config + "/autostart"}) {
        struct stat info {};
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
}

TEST(AutostartEntryTest, FindsTheFolderFromTheEnvironment)
{
    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    ::setenv("HOME", "/x/home", 1);
    EXPECT_EQ(AutostartEntry().path(), "/x/config/autostart/GlimmerlyUtility.desktop");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(AutostartEntry().path(), "/x/home/.config/autostart/GlimmerlyUtility.desktop");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AutostartEntry().path(), "/x/home/.config/autostart/GlimmerlyUtility.desktop");
}

TEST(AutostartEntryTest, UnwritableFoldersFailAndChangeNothing)
{
    const std::string config = SandboxPath(Folder());
    WriteFile(config + "/autostart/other.desktop", "x");
    WriteFile(SandboxPath("locked/kept/autostart/GlimmerlyUtility.desktop"), "old");
    const int status = test::RunUnprivileged([&] {
        bool ok = true;
        auto expect = [&ok](bool condition) { ok = ok && condition; };

        // The autostart folder exists but cannot be written.
        ::chmod((config + "/autostart").c_str(), 0555);
        AutostartEntry entry(config);
        expect(!entry.write("/usr/bin/quaylet"));
        expect(!entry.exists());
        expect(Snapshot(config + "/autostart").size() == 1);

        // The folder above it cannot be written, so it cannot be made.
        ::chmod(SandboxPath("locked").c_str(), 0555);
        expect(!AutostartEntry(SandboxPath("locked/new")).write("/usr/bin/quaylet"));

        // An existing entry in a locked folder cannot be replaced or removed.
        ::chmod(SandboxPath("locked/kept/autostart").c_str(), 0555);
        AutostartEntry kept(SandboxPath("locked/kept"));
        expect(!kept.write("/usr/bin/quaylet"));
        expect(!kept.remove());
        expect(kept.exists() && ReadFile(kept.path()) == "old");
        return ok;
    });
    EXPECT_EQ(status, 0);
}

TEST(AutostartEntryTest, RefusesPathsAnEntryCannotHold)
{
    AutostartEntry entry(SandboxPath(Folder()));
    EXPECT_FALSE(entry.write(""));
    EXPECT_FALSE(entry.write("/home/u/\xFF\xFE/quaylet"));
    EXPECT_FALSE(entry.write(std::string("/bin/a\0b", 8)));
    EXPECT_FALSE(entry.exists());
}

} // namespace
} // namespace quaylet::platform
