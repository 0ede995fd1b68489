#include "uploader/terminaltext.h"

#include <gtest/gtest.h>

using namespace quaylet;

TEST(TerminalTextTest, ControlCharactersAndInvalidBytesAreEscapedEverythingElseKept)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"/home/u/a b.jpg", "/home/u/a b.jpg"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg"},
        {"red\x1B[31m.jpg", "red\\x1b[31m.jpg"},
        {"a\rb\nc\td\x7F" "e", "a\\x0db\\x0ac\\x09d\\x7f" "e"},
        {std::string("nul\0here", 8), "nul\\x00here"},
        {"caf\xE9.jpg", "caf\\xe9.jpg"},                         // Latin-1, not UTF-8
        {"\xC2\x9B" "2J and \xC2\xA0", "\\xc2\\x9b" "2J and \xC2\xA0"}, // C1 CSI escaped, NBSP kept
        {"\xE2\x82", "\\xe2\\x82"},                              // cut short
        {"\xC0\xAF \xED\xA0\x80", "\\xc0\\xaf \\xed\\xa0\\x80"}, // overlong, surrogate
        {"\\x41", "\\x41"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TerminalText(c.in), c.out) << c.out;
}
