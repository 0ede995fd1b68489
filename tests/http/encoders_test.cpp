#include "http/encoders.h"
#include "http/errors.h"
#include "http/httptool.h"

#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace Velto;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;

TEST(HttpEncodersTest, UrlEncoding)
{
    EXPECT_EQ(CHttpEncoderA::UrlEncodeA("a b&c", false), "a+b%26c");
    EXPECT_EQ(CHttpEncoderA::UrlEncodeA("Zz09-_.~", false), "Zz09%2D%5F%2E%7E");
    EXPECT_EQ(CHttpEncoderA::UrlEncodeA("\xC3\xA9", true), "%C3%A9");
    EXPECT_EQ(CHttpEncoderA::UrlEncodeLenA("a b&c", false), 7u);
    EXPECT_EQ(_UrlEncodeLen("a b&\xC3\xA9"), 3u + 3u + 6u);
    try {
        _UrlEncodeLen(nullptr);
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_STREQ(e.ErrorMessage(), "_UrlEncodeLen: szStr can not be NULL.");
    }
}

TEST(HttpEncodersTest, Utf8FormsAndConversions)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // a é € 😀
    EXPECT_EQ(CHttpEncoderA::Utf8Encode(text), text);
    EXPECT_EQ(CHttpEncoderA::Utf8EncodeLen(text), 10u);
    EXPECT_EQ(CHttpEncoderA::_AnsiCharToUtf8Char("\xE2\x82\xACxyz"), "\xE2\x82\xAC");
    EXPECT_EQ(CHttpToolW::Ansi2Unicode(text), std::wstring(L"a\u00e9\u20ac\U0001F600"));
    EXPECT_EQ(CHttpToolA::Unicode2Ansi(L"a\u00e9\u20ac\U0001F600"), text);

    // Bytes that are not text fail with the conversion codes, never crash.
    try {
        CHttpEncoderA::Utf8Encode("ok\xC3");
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_EQ(e.ErrorCode(), 601);
    }
    try {
        CHttpToolW::Ansi2Unicode("\xFF");
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_EQ(e.ErrorCode(), 601);
    }
    try {
        CHttpToolA::Unicode2Ansi(std::wstring(1, static_cast<wchar_t>(0xD800)));
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_EQ(e.ErrorCode(), 600);
    }
    try {
        CHttpToolA::Unicode2Ansi(L"x", CP_UTF8);
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_EQ(e.ErrorCode(), 0);
        EXPECT_STREQ(e.ErrorMessage(),
                     "CHttpToolA::Unicode2Ansi: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    }
}

TEST(HttpEncodersTest, MimeTypeIsSniffedFromTheContentAndThePositionRewound)
{
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(1000, 'x');
    const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300, '\0');
    const struct {
        const char* name;
        std::string bytes;
        const char* type;
    } cases[] = {
        {"photo.bin", jpeg, "image/jpeg"},
        {"picture.jpg", png, "image/png"}, // the content counts, not the name
        {"empty.jpg", "", nullptr},
    };
    for (const auto& c : cases) {
        const std::string path = SandboxPath(c.name);
        WriteFile(path, c.bytes);
        const int fd = CHttpToolA::OpenFile(path.c_str());
        ASSERT_GE(fd, 0);
        const std::string type = CHttpToolA::GetMimeType(fd);
        if (c.type)
            EXPECT_EQ(type, c.type) << c.name;
        else
            EXPECT_FALSE(type.empty());
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0) << c.name;
        EXPECT_EQ(CHttpToolA::GetFileSize(fd, path.c_str()), c.bytes.size());
        ::close(fd);
    }
    EXPECT_EQ(CHttpToolA::GetMimeType(kInvalidFile), "application/octet-stream");
    EXPECT_EQ(CHttpToolW::GetMimeType(kInvalidFile), L"application/octet-stream");
    EXPECT_EQ(CHttpToolA::OpenFile(SandboxPath("missing").c_str()), kInvalidFile);
    EXPECT_EQ(CHttpToolA::OpenFile(quaylet::test::SandboxDir().c_str()), kInvalidFile);
}

TEST(HttpEncodersTest, BoundaryHasItsFixedForm)
{
    const auto a = CHttpToolA::CreateBoundary();
    const auto b = CHttpToolA::CreateBoundary();
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    ASSERT_EQ(a->size(), 43u);
    EXPECT_EQ(a->substr(0, 10), "----VELTA-");
    EXPECT_EQ(a->back(), '-');
    EXPECT_EQ(a->substr(10, 32).find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(std::string(kFixedBoundary).size(), 43u);
}
