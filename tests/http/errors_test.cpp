#include "http/errors.h"
#include "http/safeint.h"

#include <gtest/gtest.h>

#include <string>

using namespace Velto;

namespace {
httpclientexceptionA caught(void (*raise)())
{
    try {
        raise();
    } catch (const httpclientexceptionA& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return httpclientexceptionA();
}
} // namespace

TEST(HttpErrorsTest, MessagesAreLookedUpByRange)
{
    const struct {
        int code;
        const char* message; // nullptr: the code has no message
    } cases[] = {
        {0, "Not specified"},
        {1, nullptr},
        {100, "Unexpected error occurred."},
        {104, "The post context is not started yet."},
        {112, "An arithmetic overflow error has been occurred."},
        {113, "An interger divide by zero exception has been occurred."},
        {114, "The file (%s) aleady exists."},
        {115, nullptr},
        {200, ""},
        {201, nullptr},
        {401, "::InternetReadFile failed."},
        {410, "::InternetSetOption failed."},
        {411, nullptr},
        {603, "OpenFile (::CreateFile) failed (\"%s\")."},
        {606, "::WriteFile failed (\"%s\")."},
        {607, nullptr},
        {1000, "user-defined error message"},
        {123456, "user-defined error message"},
    };
    for (const auto& c : cases) {
        const char* message = ErrorMessageOf(c.code);
        if (c.message)
            EXPECT_STREQ(message, c.message) << c.code;
        else
            EXPECT_EQ(message, nullptr) << c.code;
    }
}

TEST(HttpErrorsTest, ThrowErrorFillsTheArgumentAndCutsAt511Bytes)
{
    try {
        ThrowError(kErrFileSize, 2, "/tmp/a%sb.jpg");
    } catch (const httpclientexceptionA& e) {
        EXPECT_STREQ(e.ErrorMessage(), "::GetFileSize failed (\"/tmp/a%sb.jpg\").");
        EXPECT_STREQ(e.what(), e.ErrorMessage());
        EXPECT_EQ(e.ErrorCode(), 605);
        EXPECT_EQ(e.Win32Error(), 2);
    }

    // A path of two-byte characters: the cut never splits one.
    std::string longPath;
    for (int i = 0; i < 400; ++i)
        longPath += "\xC3\xA9";
    try {
        ThrowError(kErrOpenFile, 0, longPath.c_str());
    } catch (const httpclientexceptionA& e) {
        const std::string message = e.ErrorMessage();
        EXPECT_LE(message.size(), 511u);
        EXPECT_GE(message.size(), 510u);
        EXPECT_EQ(message.rfind("OpenFile (::CreateFile) failed (\"", 0), 0u);
        EXPECT_NE(static_cast<unsigned char>(message.back()), 0xC3);
    }

    // Without an argument the text stays as it is.
    const auto e = caught([] { ThrowError(kErrOpenFile, 13); });
    EXPECT_STREQ(e.ErrorMessage(), "OpenFile (::CreateFile) failed (\"%s\").");
}

TEST(HttpErrorsTest, ExceptionsWithoutTextAndCopies)
{
    const httpclientexceptionA none;
    EXPECT_STREQ(none.ErrorMessage(), "NULL");
    const auto unlisted = caught([] { ThrowError(115, 7); });
    EXPECT_STREQ(unlisted.ErrorMessage(), "NULL");
    EXPECT_EQ(unlisted.ErrorCode(), 115);

    httpclientexceptionA original("text", 408, 104);
    httpclientexceptionA copy = original;
    original.SetErrorMessage("changed");
    EXPECT_STREQ(copy.ErrorMessage(), "text");
    EXPECT_EQ(copy.ErrorCode(), 408);
    EXPECT_EQ(copy.Win32Error(), 104);
    copy.SetErrorMessage(nullptr);
    EXPECT_STREQ(copy.ErrorMessage(), "NULL");

    const httpclientexceptionW wide(nullptr, 601, 84);
    EXPECT_STREQ(wide.what(), "httpclientexceptionW");
    EXPECT_STREQ(wide.ErrorMessage(), L"NULL");
    EXPECT_STREQ(errmsg_exceptionW(L"x").what(), "errmsg_exceptionW");
}

TEST(HttpErrorsTest, ArgumentErrorsCarryCodeZeroAndTheirText)
{
    const auto e = caught([] { ThrowEmptyArgument("CHttpToolA::OpenConnection", "szServerAddr"); });
    EXPECT_STREQ(e.ErrorMessage(), "CHttpToolA::OpenConnection: szServerAddr can not be an empty string.");
    EXPECT_EQ(e.ErrorCode(), 0);
    EXPECT_EQ(e.Win32Error(), 0);
    EXPECT_STREQ(caught([] { ThrowCodePageArgument("CHttpToolA::Unicode2Ansi"); }).ErrorMessage(),
                 "CHttpToolA::Unicode2Ansi: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
}

TEST(HttpErrorsTest, CheckedArithmeticFailsInsteadOfWrapping)
{
    EXPECT_EQ(SafeAdd(0xFFFFFFFEu, 1u), 0xFFFFFFFFu);
    EXPECT_EQ(caught([] { SafeAdd(0xFFFFFFFFu, 1u); }).ErrorCode(), 112);
    EXPECT_EQ(caught([] { SafeNarrow(0x100000000ull); }).ErrorCode(), 112);
}
