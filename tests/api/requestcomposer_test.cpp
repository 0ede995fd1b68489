#include "api/endpoints.h"
#include "api/requestcomposer.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quaylet;

namespace {
const std::string B = "----------------GlimmerlyWinApp";

std::string Part(const std::string& name, const std::string& value)
{
    return B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}
} // namespace

TEST(RequestComposerTest, FixedTexts)
{
    EXPECT_EQ(RequestBoundary, B);
    EXPECT_EQ(RequestBoundary.size(), 31u);
    EXPECT_EQ(MakePostFileData(RequestBoundary), "\r\n" + B);
    EXPECT_EQ(MakeRequestHeaders(RequestBoundary),
              "Accept: text/xml\r\nAccept-Language: en-us\r\nConnection: Keep-Alive\r\n"
              "Content-Type: multipart/form-data; boundary=----------------GlimmerlyWinApp\r\n");
    std::string path = "/p";
    EXPECT_EQ(MakeHTTPTag(kBoundaryName, "n", "", path), B + "\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n\r\n");
    EXPECT_EQ(path, "/p&n=");
}

TEST(RequestComposerTest, GoldenBytesOfTheThreeRequests)
{
    // The account-information request of alice, byte for byte.
    const ComposedRequest info =
        ComposeRequest(kMethodGetInfo, {{"appid", "glimmerly"}, {"output", "xml"}, {"username", "alice"}});
    EXPECT_EQ(info.path, "/V1.0/User.getInfo?method=User.getInfo&appid=glimmerly&output=xml&username=alice");
    const std::string infoBody = "----------------GlimmerlyWinApp\r\n"
                                 "Content-Disposition: form-data; name=\"appid\"\r\n\r\nglimmerly\r\n"
                                 "----------------GlimmerlyWinApp\r\n"
                                 "Content-Disposition: form-data; name=\"output\"\r\n\r\nxml\r\n"
                                 "----------------GlimmerlyWinApp\r\n"
                                 "Content-Disposition: form-data; name=\"username\"\r\n\r\nalice\r\n"
                                 "\r\n----------------GlimmerlyWinApp";
    EXPECT_EQ(info.parts + info.closing, infoBody);
    EXPECT_EQ(info.contentLength, infoBody.size());

    struct Case {
        const char* method;
        std::string user;
        std::string hash; // empty: no passwordhash field
        std::string queryUser;
    };
    const std::string odd = "J\xC3\xB6rg & Co=1\r\nX-Evil: y";
    for (const Case& c : {Case{kMethodLogin, "alice", "0123456789abcdef0123456789abcdef01234567", "alice"},
                          Case{kMethodLogin, odd, "", "J%C3%B6rg%20%26%20Co%3D1%0D%0AX-Evil%3A%20y"},
                          Case{kMethodGetToast, "a b", "", "a%20b"}, Case{kMethodGetToast, "", "", ""}}) {
        RequestFields fields = {{"appid", "glimmerly"}, {"output", "xml"}, {"username", c.user}};
        if (std::string(c.method) == kMethodLogin)
            fields.emplace_back("passwordhash", c.hash);
        const ComposedRequest r = ComposeRequest(c.method, fields);
        std::string expectedPath = std::string("/V1.0/") + c.method + "&appid=glimmerly&output=xml&username=" + c.queryUser;
        std::string expectedBody = Part("appid", "glimmerly") + Part("output", "xml") + Part("username", c.user);
        if (std::string(c.method) == kMethodLogin) {
            expectedPath += "&passwordhash=" + c.hash;
            expectedBody += Part("passwordhash", c.hash);
        }
        expectedBody += "\r\n" + B;
        EXPECT_EQ(r.path, expectedPath);
        EXPECT_EQ(r.parts + r.closing, expectedBody) << "raw bytes in the body";
        EXPECT_EQ(r.contentLength, expectedBody.size());
        EXPECT_EQ(r.path.find_first_of(" \r\n"), std::string::npos);
    }
}

TEST(RequestComposerTest, PasswordHashIsMaskedForTheLog)
{
    EXPECT_EQ(MaskPasswordHash("/V1.0/User.login?method=User.login&appid=glimmerly&output=xml&username=a"
                               "&passwordhash=0123abcd"),
              "/V1.0/User.login?method=User.login&appid=glimmerly&output=xml&username=a&passwordhash=***");
    EXPECT_EQ(MaskPasswordHash("/x?method=y&passwordhash=&z=1"), "/x?method=y&passwordhash=***&z=1");
    EXPECT_EQ(MaskPasswordHash("/x?method=y&username=passwordhash"), "/x?method=y&username=passwordhash");
}

TEST(EndpointsTest, FixedAddressesAndTheOverride)
{
    ::unsetenv(kServiceUrlVariable);
    EXPECT_EQ(SiteAddress(), "https://www.glimmerly.example");
    EXPECT_EQ(BareSiteAddress(), "https://glimmerly.example");
    EXPECT_EQ(EarlierSiteAddress(), "https://www.kestrelio.example");
    EXPECT_EQ(ApiHostAddress(), "https://api.glimmerly.example");
    EXPECT_EQ(SupportSiteAddress(), "https://support.glimmerly.example");
    EXPECT_EQ(UploadAddress(), "https://api.glimmerly.example/V1.0/Media.upload?method=Media.upload");

    ::setenv(kServiceUrlVariable, "http://127.0.0.1:8080/", 1);
    for (const std::string& a : {SiteAddress(), BareSiteAddress(), EarlierSiteAddress(), ApiHostAddress(),
                                 SupportSiteAddress()})
        EXPECT_EQ(a, "http://127.0.0.1:8080");
    EXPECT_EQ(UploadAddress(), "http://127.0.0.1:8080/V1.0/Media.upload?method=Media.upload");
    EXPECT_STREQ(kFixedSiteAddress, "https://www.glimmerly.example");

    struct Case {
        const char* address;
        bool ok;
        bool secure;
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"https://api.glimmerly.example", true, true, "api.glimmerly.example", 443},
                          Case{"http://127.0.0.1:8080", true, false, "127.0.0.1", 8080},
                          Case{"HTTPS://h:444/x", true, true, "h", 444}, Case{"h", true, false, "h", 80},
                          Case{"http://[::1]:81", true, false, "::1", 81}, Case{"ftp://h", false, false, "", 0},
                          Case{"http://:80", false, false, "", 0}, Case{"http://h:99999", false, false, "", 0},
                          Case{"http://h:8a", false, false, "", 0}}) {
        const auto o = ParseServiceOrigin(c.address);
        ASSERT_EQ(o.has_value(), c.ok) << c.address;
        if (o) {
            EXPECT_EQ(o->secure, c.secure) << c.address;
            EXPECT_EQ(o->host, c.host) << c.address;
            EXPECT_EQ(o->port, c.port) << c.address;
        }
    }
}
