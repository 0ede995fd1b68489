#include "uploader/passwordinput.h"
#include "uploader/uploadoptions.h"

#include <gtest/gtest.h>

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
    }
}

TEST(UploadOptionsTest, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {}, {"--user"}, {"--user", "ann"}, {"--frobnicate", "a.jpg"}, {"--user="}, {""},
    };
    for (const auto& args : bad) {
        const auto r = ParseUploadOptions(args, "/");
        EXPECT_FALSE(r.options.has_value());
        EXPECT_FALSE(r.error.empty());
    }
    const auto help = ParseUploadOptions({"--help"}, "/");
    ASSERT_TRUE(help.options.has_value());
    EXPECT_TRUE(help.options->help);
    EXPECT_NE(UploadUsage("quaylet-upload").find("quaylet-upload [--user NAME] [--] PATH..."), std::string::npos);
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
