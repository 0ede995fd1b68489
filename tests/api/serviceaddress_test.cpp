// Where the requests go when QUAYLET_SERVICE_URL points elsewhere: an IPv6
// literal and a path in the variable, for the small calls and the upload alike.

#include "api/endpoints.h"
#include "api/requestcomposer.h"
#include "api/signin.h"
#include "api/uploadcall.h"
#include "core/logfile.h"
#include "devserver/devserverprocess.h"
#include "platform/internet.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace quaylet;
using namespace std::chrono_literals;

namespace {

// SHA-1 of "wonderland", the development service's password for alice.
constexpr const char* kAliceHash = "b6263bb14858294c08e4bdfceba90363e10d72b4";

class QuietObserver final : public IUploadObserver {
  public:
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setStatusTextLimited(const std::string&) override {}
    void setStatusText(const std::string&) override {}
    bool cancelRequested() const override { return false; }
};

} // namespace

TEST(ServiceAddressTest, OverrideKeepsOnlyItsOrigin)
{
    struct Case {
        const char* variable;
        const char* address; // every address and page
    };
    // One without a host stays given: the requests then fail instead of
    // reaching the real service.
    for (const Case& c : {Case{"http://127.0.0.1:8080/", "http://127.0.0.1:8080"},
                          Case{"http://127.0.0.1:8080/glimmerly/api?x#y", "http://127.0.0.1:8080"},
                          Case{"http://[::1]:8080/p", "http://[::1]:8080"},
                          Case{"127.0.0.1:8080/p", "127.0.0.1:8080"}, Case{"http:///p", "http://"}}) {
        ::setenv(kServiceUrlVariable, c.variable, 1);
        for (const std::string& a :
             {ApiHostAddress(), SiteAddress(), BareSiteAddress(), EarlierSiteAddress(), SupportSiteAddress()})
            EXPECT_EQ(a, c.address) << c.variable;
        EXPECT_EQ(UploadAddress(), std::string(c.address) + "/V1.0/Media.upload?method=Media.upload")
            << c.variable;
    }
    ::setenv(kServiceUrlVariable, "", 1);
    EXPECT_EQ(ApiHostAddress(), kFixedApiHostAddress);
    ::unsetenv(kServiceUrlVariable);
}

TEST(ServiceAddressTest, SignInAndUploadReachAnIpv6ServiceGivenWithAPath)
{
    OpenLog("Quaylet.log");
    platform::SetDefaultInternetTimeouts({5000ms, 5000ms});
    test::DevServerProcess server(test::SandboxPath("data"), {"--host", "::1"});
    ASSERT_TRUE(server.running());
    ::setenv(kServiceUrlVariable, ("http://[::1]:" + std::to_string(server.port()) + "/glimmerly").c_str(),
             1);

    std::string errorText;
    EXPECT_EQ(HTTPMethodLogin("alice", kAliceHash, errorText), 1) << server.errorOutput();

    const std::string path = test::SandboxPath("photo.jpg");
    test::WriteFile(path, std::string(5000, 'p'));
    QuietObserver observer;
    EXPECT_EQ(HTTPMethodUpload(observer, path, "alice", "wonderland", kMediaPhoto, 1262347445), 1)
        << server.errorOutput() << test::ReadFile("Quaylet.log");
    EXPECT_TRUE(test::PathExists(test::SandboxPath("data/alice/000001/media.jpg")));
    ::unsetenv(kServiceUrlVariable);
}
