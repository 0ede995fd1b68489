#include "core/logfile.h"
#include "core/settings.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace quaylet;

namespace {
void writeTo(LogFile& log, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
void writeTo(LogFile& log, int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log.write(level, format, args);
    va_end(args);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return out;
}
} // namespace

TEST(LogFileTest, LinesCarryThePrefixAndEndInCrLf)
{
    LogFile log;
    log.setMirror(false);
    log.open("Quaylet.log", 7, 1000000);
    writeTo(log, LogTrace, "Checking internet connection");
    writeTo(log, LogMilestone, "%s has %d%% done", "file", 50);
    const std::string text = test::ReadFile("Quaylet.log");
    const auto all = lines(text);
    ASSERT_EQ(all.size(), 2u);
    const std::regex prefix(R"(^\d{4}/\d{2}/\d{2}, \d{2}:\d{2}:\d{2} -- )");
    EXPECT_TRUE(std::regex_search(all[0], prefix));
    EXPECT_EQ(all[0].substr(24), "Checking internet connection");
    EXPECT_EQ(all[1].substr(24), "file has 50% done");
    EXPECT_EQ(text.find("\r\r"), std::string::npos);

    struct stat st {};
    ASSERT_EQ(::stat("Quaylet.log", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// The log names the user's files: it is the owner's alone, even under a
// umask of 0 and when an earlier run or another program left it open to all.
TEST(LogFileTest, OwnerOnlyEvenUnderAPermissiveUmask)
{
    const mode_t saved = ::umask(0);
    for (const bool existed : {false, true}) {
        const std::string name = existed ? "old.log" : "new.log";
        if (existed) {
            test::WriteFile(name, "an earlier line\r\n");
            ::chmod(name.c_str(), 0644);
        }
        LogFile log;
        log.setMirror(false);
        log.open(name, 7, 1000000);
        writeTo(log, LogMilestone, "started");
        struct stat st {};
        ASSERT_EQ(::stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
        EXPECT_EQ(lines(test::ReadFile(name)).size(), existed ? 2u : 1u) << name;
    }
    ::umask(saved);
}

TEST(LogFileTest, MaskSelectsLevels)
{
    struct Case {
        uint32_t mask;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {}},
        {1, {"one"}},
        {7, {"one", "two", "four"}},
        {0xFFFFFFFF, {"one", "two", "four", "eight"}},
    };
    for (const auto& c : cases) {
        const std::string name = "mask" + std::to_string(c.mask) + ".log";
        LogFile log;
        log.setMirror(false);
        log.open(name, c.mask, 1000000);
        writeTo(log, 1, "one");
        writeTo(log, 2, "two");
        writeTo(log, 4, "four");
        writeTo(log, 8, "eight");
        std::vector<std::string> got;
        for (const auto& l : lines(test::ReadFile(name)))
            got.push_back(l.substr(24));
        EXPECT_EQ(got, c.expected) << "mask " << c.mask;
    }
}

TEST(LogFileTest, OldLogSurvivesUpToTheSizeLimit)
{
    struct Case {
        std::size_t existing;
        uint32_t limit;
        bool survives;
    } cases[] = {{1000, 1000, true}, {1001, 1000, false}, {1, 0, false}, {0, 0, true}};
    for (const auto& c : cases) {
        const std::string name = "size" + std::to_string(c.existing) + "-" + std::to_string(c.limit) + ".log";
        test::WriteFile(name, std::string(c.existing, 'x'));
        LogFile log;
        log.setMirror(false);
        log.open(name, 7, c.limit);
        writeTo(log, 1, "new");
        const std::string text = test::ReadFile(name);
        EXPECT_EQ(text.size() == c.existing + 29, c.survives) << name;
        EXPECT_EQ(text.substr(text.size() - 5), "new\r\n");
    }
}

TEST(LogFileTest, OpenLogReadsMaskAndSizeFromSettingsWithMinusOneAsMissing)
{
    SetSettingInt(kSettingsSection, "LogMask", -1);
    SetSettingInt(kSettingsSection, "LogSize", 10);
    test::WriteFile("Quaylet.log", std::string(11, 'x'));
    SetLogMirror(false);
    OpenLog("Quaylet.log");
    WriteLog(LogTrace, "trace");
    const auto all = lines(test::ReadFile("Quaylet.log"));
    ASSERT_EQ(all.size(), 1u) << "the 11-byte log was over the limit of 10";
    EXPECT_EQ(all[0].substr(24), "trace") << "mask -1 means the default 7";
}

TEST(LogFileTest, LongMessagesAreCutWholeCharactersWithinTheBuffer)
{
    LogFile log;
    log.setMirror(false);
    log.open("long.log", 7, 1000000);
    // 510 ASCII bytes then a 3-byte character: it does not fit in 511 bytes and must go whole.
    const std::string message = std::string(510, 'a') + "\xE2\x82\xAC" + "tail";
    writeTo(log, 1, "%s", message.c_str());
    const auto all = lines(test::ReadFile("long.log"));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].substr(24), std::string(510, 'a'));
}

TEST(LogFileTest, ControlCharactersInAMessageAreEscapedOtherBytesKept)
{
    LogFile log;
    log.setMirror(false);
    log.open("control.log", 7, 1000000);
    // A file name with a line break must not forge a line of its own.
    const std::string name = "a\r\n2026/01/01, 00:00:00 -- forged\tb\x1B[2J\x7F\x01 caf\xC3\xA9 \xFF\x80.jpg";
    writeTo(log, 1, "Uploading %s", name.c_str());
    const auto all = lines(test::ReadFile("control.log"));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].substr(24), "Uploading a\\x0D\\x0A2026/01/01, 00:00:00 -- forged\\x09b\\x1B[2J\\x7F\\x01 "
                                 "caf\xC3\xA9 \xFF\x80.jpg");
}

TEST(LogFileTest, UnopenableFileLeavesStandardErrorOnly)
{
    LogFile log;
    log.setMirror(true);
    log.open("no/such/dir/Quaylet.log", 7, 1000000);
    EXPECT_FALSE(log.isFileOpen());
    testing::internal::CaptureStderr();
    writeTo(log, 1, "still seen");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(" -- still seen\n"), std::string::npos);

    LogFile unopened;
    testing::internal::CaptureStderr();
    writeTo(unopened, 1, "before open");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing is written before the log is opened";
}

TEST(LogFileTest, ConcurrentWritersProduceWholeLines)
{
    LogFile log;
    log.setMirror(false);
    log.open("threads.log", 7, 1000000);
    constexpr int kThreads = 4, kLines = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                writeTo(log, 1, "thread %d line %04d %s", t, i, std::string(64, char('a' + t)).c_str());
        });
    for (auto& w : writers)
        w.join();
    const auto all = lines(test::ReadFile("threads.log"));
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    const std::regex shape(R"(^thread (\d) line (\d{4}) ([a-d])+$)");
    for (const auto& l : all) {
        std::smatch m;
        const std::string message = l.substr(24);
        ASSERT_TRUE(std::regex_match(message, m, shape)) << message;
        const int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]++) << "each thread's lines stay in call order";
    }
}
