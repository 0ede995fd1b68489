#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

using namespace quaylet::platform;

TEST(Utf8Test, ValidityFollowsTheStrictRules)
{
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"plain.jpg", true},
        {"caf\xC3\xA9.jpg", true},
        {"\xF0\x9F\x93\xB7.jpg", true}, // a 4-byte character
        {"line\nbreak.jpg", true},      // odd, but valid text
        {"\xFF.jpg", false},            // never a UTF-8 byte
        {"\xE9t\xE9.jpg", false},       // Latin-1
        {"\xC0\xAF", false},            // overlong '/'
        {"\xED\xA0\x80", false},        // a surrogate
        {"\xE2\x82", false},            // cut short
        {"\xF4\x90\x80\x80", false},    // above U+10FFFF
        {"\x80", false},                // stray continuation
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

TEST(Utf8Test, ACutNeverEndsInsideACharacter)
{
    const struct {
        std::string text;
        std::size_t kept;
    } cases[] = {
        {"abc", 3},
        {"caf\xC3\xA9", 5},       // complete two-byte character kept
        {"caf\xC3", 3},            // its lead byte alone dropped
        {"x\xF0\x9F\x93", 1},     // three of four bytes dropped
        {"x\xF0\x9F\x93\xB7", 5}, // all four kept
        {"\xE9t\xE9", 2},          // a lead byte at the end goes, whatever came before
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8CompletePrefix(c.text), c.kept) << c.text;
}
