#include "uploader/passwordinput.h"
#include "uploader/uploadoptions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <unistd.h>

using namespace quaylet;

TEST(UploadOptionsTest, ParsesUserPathsAndSeparator)
{
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> user;
        std::vector<std::string> paths;
    } cases[] = {
        {{"a.jpg"}, std::nullopt, {"/home/u/a.jpg"}},
        {{"--user", "ann", "/abs/b.jpg", "dir/"}, "ann", {"/abs/b.jpg", "/home/u/dir/"}},
        {{"--user=bob smith", "--", "--user", "-x.jpg"}, "bob smith", {"/home/u/--user", "/home/u/-x.jpg"}},
        {{"caf\xC3\xA9 \xFF.jpg"}, std::nullopt, {"/home/u/caf\xC3\xA9 \xFF.jpg"}},
    };
    for (const auto& c : cases) {
        const auto r = ParseUploadOptions(c.args, "/home/u");
        ASSERT_TRUE(r.options.has_value()) << r.error;
        EXPECT_EQ(r.options->user, c.user);
        EXPECT_EQ(r.options->paths, c.paths);
        EXPECT_FALSE(r.options->help);
        EXPECT_FALSE(r.options->signInOnly);
    }
    const auto outputs = ParseUploadOptions({"-q", "--json", "a.jpg", "--quiet"}, "/");
    ASSERT_TRUE(outputs.options.has_value()) << outputs.error;
    EXPECT_TRUE(outputs.options->quiet);
    EXPECT_TRUE(outputs.options->json);
    EXPECT_EQ(outputs.options->givenPaths, std::vector<std::string>{"a.jpg"});
    const auto signInOnly = ParseUploadOptions({"--user", "ann", "--sign-in-only"}, "/");
    ASSERT_TRUE(signInOnly.options.has_value()) << signInOnly.error;
    EXPECT_TRUE(signInOnly.options->signInOnly);
    EXPECT_TRUE(signInOnly.options->paths.empty());
}

TEST(UploadOptionsTest, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {}, {"--user"}, {"--user", "ann"}, {"--frobnicate", "a.jpg"}, {"--user="}, {""},
        {"--sign-in-only", "a.jpg"},
    };
    for (const auto& args : bad) {
        const auto r = ParseUploadOptions(args, "/");
        EXPECT_FALSE(r.options.has_value());
        EXPECT_FALSE(r.error.empty());
    }
    const auto help = ParseUploadOptions({"--help"}, "/");
    ASSERT_TRUE(help.options.has_value());
    EXPECT_TRUE(help.options->help);
    EXPECT_NE(UploadUsage("quaylet-upload").find("  -q, --quiet     show errors only"), std::string::npos);
}

// Rates are taken as curl takes them: bytes per second, K, M and G counting
// in powers of 1024; anything else is refused rather than guessed at.
TEST(UploadOptionsTest, RateLimits)
{
    const struct {
        const char* text;
        std::optional<uint64_t> rate;
    } cases[] = {
        {"1", 1},
        {"250000", 250000},
        {"1K", 1024},
        {"128k", 131072},
        {"2M", 2097152},
        {"3g", uint64_t{3} << 30},
        {"007", 7},
        {"9223372036854775807", INT64_MAX},
        {"8589934591G", uint64_t{8589934591} << 30},
        {"8589934592G", std::nullopt}, // beyond a signed 64-bit count
        {"9223372036854775808", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"0", std::nullopt},
        {"0K", std::nullopt},
        {"", std::nullopt},
        {"K", std::nullopt},
        {"-1", std::nullopt},
        {"+5", std::nullopt},
        {"1.5M", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"5KB", std::nullopt},
        {"5T", std::nullopt},
        {"abc", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRateLimit(c.text), c.rate) << '"' << c.text << '"';

    const auto limited = ParseUploadOptions({"--limit-rate", "250K", "a.jpg"}, "/");
    ASSERT_TRUE(limited.options.has_value()) << limited.error;
    EXPECT_EQ(limited.options->limitRate, 256000u);
    const auto joined = ParseUploadOptions({"--limit-rate=2M", "a.jpg"}, "/");
    ASSERT_TRUE(joined.options.has_value()) << joined.error;
    EXPECT_EQ(joined.options->limitRate, 2097152u);
    EXPECT_EQ(ParseUploadOptions({"a.jpg"}, "/").options->limitRate, 0u);
    for (const char* bad : {"0", "-5", "fast"}) {
        const auto r = ParseUploadOptions({"--limit-rate", bad, "a.jpg"}, "/");
        EXPECT_FALSE(r.options.has_value()) << bad;
        EXPECT_EQ(r.error, "--limit-rate needs a rate above zero in bytes per second, such as 500000, 250K or 2M");
    }
}

// Files are named the way their argument was typed, the innermost argument
// deciding; a path under none of them stays as it is.
TEST(UploadOptionsTest, PathsAreNamedAsTheirArgumentWasTyped)
{
    const auto parsed = ParseUploadOptions({"album", "album/sub/", "./b.jpg", "/abs/dir"}, "/home/u");
    ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
    const struct {
        std::string path;
        std::string shown;
    } cases[] = {
        {"/home/u/album/a.jpg", "album/a.jpg"},
        {"/home/u/album/sub/x/c.jpg", "album/sub/x/c.jpg"},
        {"/home/u/./b.jpg", "./b.jpg"},
        {"/abs/dir/d.jpg", "/abs/dir/d.jpg"},
        {"/home/u/albumen/e.jpg", "/home/u/albumen/e.jpg"},
        {"/elsewhere/f.jpg", "/elsewhere/f.jpg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AsGiven(c.path, *parsed.options), c.shown) << c.path;
}

TEST(PasswordInputTest, ReadsOneLineFromAPipe)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "s3cr\xC3\xA9t pass\r\nsecond line\n";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    EXPECT_EQ(ReadPassword(fds[0], -1, "Password: "), "s3cr\xC3\xA9t pass");
    EXPECT_EQ(ReadPassword(fds[0], -1, "Password: "), "second line");
    EXPECT_EQ(ReadPassword(fds[0], -1, "Password: "), std::nullopt);
    ::close(fds[0]);
}

namespace {

bool echoOn(int terminal)
{
    termios mode {};
    return ::tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
}

// What the terminal has shown so far (at most 5 s until it shows until).
std::string shown(int master, const std::string& until)
{
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (text.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

} // namespace

// At a terminal prompt: the typed password is not echoed, and an interrupt
// ends the prompt at once with the terminal's echo back on.
TEST(PasswordInputTest, ATerminalPromptHidesTheInputAndEndsOnAWake)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    int wake[2];
    ASSERT_EQ(::pipe(wake), 0);

    auto typed = std::async(std::launch::async, [&] { return ReadPassword(terminal, terminal, "Password: ", wake[0]); });
    EXPECT_NE(shown(master, "Password: ").find("Password: "), std::string::npos);
    ASSERT_EQ(::write(master, "s3cret\n", 7), 7);
    const bool read = typed.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!read) {
        [[maybe_unused]] const auto n = ::write(wake[1], "!", 1); // let the reader go rather than hang
    }
    ASSERT_TRUE(read) << "the typed line was lost";
    EXPECT_EQ(typed.get(), "s3cret");
    EXPECT_EQ(shown(master, "\n").find("s3cret"), std::string::npos);
    EXPECT_TRUE(echoOn(terminal));

    auto interrupted = std::async(std::launch::async, [&] { return ReadPassword(terminal, terminal, "Again: ", wake[0]); });
    shown(master, "Again: ");
    ASSERT_EQ(::write(wake[1], "!", 1), 1);
    const bool ended = interrupted.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended) {
        [[maybe_unused]] const auto n = ::write(master, "\n", 1); // let the reader go rather than hang
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(interrupted.get(), std::nullopt);
    EXPECT_TRUE(echoOn(terminal));

    for (const int fd : {master, terminal, wake[0], wake[1]})
        ::close(fd);
}

TEST(UploadOptionsTest, KeptRowOptions)
{
    struct Case {
        std::vector<std::string> args;
        bool ok, resume, retryFailed, history, json;
    } cases[] = {
        {{"--resume"}, true, true, false, false, false},
        {{"--retry-failed", "a.jpg"}, true, false, true, false, false},
        {{"--resume", "--retry-failed"}, true, true, true, false, false},
        {{"--history", "--json"}, true, false, false, true, true},
        {{"--history", "a.jpg"}, false, false, false, false, false},
        {{"--history", "--resume"}, false, false, false, false, false},
        {{"--json", "a.jpg"}, true, false, false, false, true},
    };
    for (const auto& c : cases) {
        const auto r = ParseUploadOptions(c.args, "/");
        ASSERT_EQ(r.options.has_value(), c.ok) << c.args.front() << ": " << r.error;
        if (!c.ok)
            continue;
        EXPECT_EQ(r.options->resume, c.resume);
        EXPECT_EQ(r.options->retryFailed, c.retryFailed);
        EXPECT_EQ(r.options->history, c.history);
        EXPECT_EQ(r.options->json, c.json);
    }
}
