#include "api/apirequest.h"
#include "api/xmlreply.h"
#include "core/logfile.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using namespace quaylet;

namespace {
const std::string kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t pos = 0; (pos = text.find(what, pos)) != std::string::npos; pos += what.size())
        ++n;
    return n;
}
} // namespace

TEST(XmlReplyTest, ReaderCases)
{
    OpenLog("Quaylet.log");
    struct Case {
        const char* what;
        std::string reply;
        const char* xpath;
        int result;
        std::string output; // "(kept)" when the output must be left alone
        const char* logLine;
    };
    const Case cases[] = {
        {"plain value", kDecl + "<user><premium>1</premium></user>", "/user/premium", 1, "1", nullptr},
        {"line breaks become blanks", kDecl + "\r\n<toast>\r\n<title>Spring\r\nsale\n</title></toast>", "/toast/title",
         1, "Spring  sale ", nullptr},
        {"string-value of a node with children", "<rsp><stat>o<b>k</b><![CDATA[!]]></stat></rsp>", "/rsp/stat", 1, "ok!",
         nullptr},
        {"first of several matches", "<rsp><stat>a</stat><stat>b</stat></rsp>", "/rsp/stat", 1, "a", nullptr},
        {"no such node", kDecl + "<rsp><stat>ok</stat></rsp>", "/rsp/errcode", -4, "(kept)",
         "ProcessXMLResponse: Exception caught!!!"},
        {"empty reply", "", "/rsp/stat", -4, "(kept)", "ProcessXMLResponse: Document FAILED to load"},
        {"HTML page", "<html><body><h1>502 Bad Gateway</h1><br></body></html>", "/rsp/stat", -4, "(kept)",
         "ProcessXMLResponse: Document FAILED to load"},
        {"truncated", kDecl + "<user><premium>1</prem", "/user/premium", -4, "(kept)",
         "ProcessXMLResponse: Document FAILED to load"},
        {"two roots", kDecl + "<success>1</success><errors/>", "/success", -4, "(kept)",
         "ProcessXMLResponse: Document FAILED to load"},
        {"text after the root", "<a>1</a>junk", "/a", -4, "(kept)", "ProcessXMLResponse: Document FAILED to load"},
        {"declared Latin-1, read as UTF-8 bytes", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><e>\xC3\xA9t\xC3\xA9</e>",
         "/e", 1, "\xC3\xA9t\xC3\xA9", nullptr},
        {"invalid UTF-8 passes as bytes", "<e>a\xFF\xFE</e>", "/e", 1, "a\xFF\xFE", nullptr},
        {"external entity is never fetched",
         "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r><v>[&x;]</v></r>", "/r/v", 1, "[&x;]", nullptr},
        {"malformed path", "<a>1</a>", "///", -4, "(kept)", "ProcessXMLResponse: Exception caught!!!"},
    };
    for (const Case& c : cases) {
        const std::string before = test::ReadFile("Quaylet.log");
        std::string output = "(kept)";
        const std::string reply = c.reply;
        EXPECT_EQ(ProcessXMLResponse(reply, c.xpath, output), c.result) << c.what;
        EXPECT_EQ(output, c.output) << c.what;
        EXPECT_EQ(reply, c.reply) << c.what; // the caller's copy is untouched
        const std::string log = test::ReadFile("Quaylet.log").substr(before.size());
        EXPECT_EQ(CountOf(log, "ProcessXMLResponse: Begin"), 1) << c.what;
        EXPECT_EQ(CountOf(log, "ProcessXMLResponse: End"), 1) << c.what;
        if (c.logLine != nullptr) {
            EXPECT_EQ(CountOf(log, c.logLine), 1) << c.what << "\n" << log;
        } else {
            EXPECT_EQ(CountOf(log, "FAILED"), 0) << c.what << "\n" << log;
        }
    }
}

TEST(XmlReplyTest, WrapReplyRoot)
{
    const std::string reply = kDecl + "\n<success>1</success>\n<errors></errors>\n";
    const std::string wrapped = WrapReplyRoot(reply, "user");
    EXPECT_EQ(wrapped, kDecl + "<user>\n<success>1</success>\n<errors></errors>\n</user>");
    std::string out;
    EXPECT_EQ(ProcessXMLResponse(wrapped, "/user/success", out), 1);
    EXPECT_EQ(out, "1");
    EXPECT_EQ(ProcessXMLResponse(reply, "/success", out), -4) << "two roots without the wrapper";

    EXPECT_EQ(WrapReplyRoot("<success>1</success>", "user"), "");
    EXPECT_EQ(WrapReplyRoot(kDecl, "user"), "");
    EXPECT_EQ(WrapReplyRoot("<?xml version=\"1.0\"", "user"), "");
    EXPECT_EQ(WrapReplyRoot("", "user"), "");
    EXPECT_EQ(WrapReplyRoot("junk <?xml version='1.0'?>x", "r"), "junk <?xml version='1.0'?><r>x</r>");
}

TEST(XmlReplyTest, ReplyInteger)
{
    struct Case {
        const char* text;
        int value;
    };
    for (const Case& c : {Case{"1", 1}, Case{"  1  ", 1}, Case{"\t-3x", -3}, Case{"+7", 7}, Case{"", 0},
                          Case{"ok", 0}, Case{"- 1", 0}, Case{"99999999999", 2147483647},
                          Case{"-99999999999", -2147483647 - 1}, Case{"12 34", 12}})
        EXPECT_EQ(ReplyInteger(c.text), c.value) << c.text;
}
