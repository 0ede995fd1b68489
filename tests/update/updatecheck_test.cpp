#include "update/updatecheck.h"
#include "update/versionfetch.h"
#include "update/versionfile.h"

#include "core/logfile.h"
#include "devserver/devserverprocess.h"
#include "platform/connectproxy.h"
#include "platform/loopbackserver.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace quaylet {
namespace {

using test::DevServerProcess;
using test::ReadFile;
using test::SandboxPath;
using test::WriteFile;

constexpr std::array kOwn67{6, 7, 0, 2};

// The development service publishing the given [version] settings.
std::unique_ptr<DevServerProcess> Publish(const std::string& versionSettings)
{
    static int count = 0;
    const std::string config = SandboxPath("service-" + std::to_string(++count) + ".conf");
    WriteFile(config, "[version]\n" + versionSettings);
    auto server = std::make_unique<DevServerProcess>(SandboxPath("data"), std::vector<std::string>{"--config", config});
    EXPECT_TRUE(server->running());
    return server;
}

std::string VersionFile(const DevServerProcess& server)
{
    return server.origin() + "/binaries/version.txt";
}

std::string Log()
{
    return ReadFile("Quaylet.log");
}

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLogMirror(false);
        std::remove("Quaylet.log"); // a fresh log for each test, also when they share a process
        OpenLog("Quaylet.log");
    }
};

TEST_F(UpdateCheckTest, ComparesThePublishedVersionWithTheOwnOneAsPackedUnsignedNumbers)
{
    struct Case {
        const char* settings;
        int result;
        uint32_t web;
    };
    const Case cases[] = {
        {"major = 6\nminor = 8\n", 1, 0x60008},
        {"major = 6\nminor = 7\n", 0, 0x60007},
        {"major = 6\nminor = 6\n", 0, 0x60006},
        {"major = 5\nminor = 200\n", 0, 0x500C8},
        {"major = 7\nminor = 0\n", 1, 458752}, // above 393223
        {"major = 6\nminor = 65537\n", 0, 0x60001}, // cut to 16 bits: 6.1
        {"major = 65542\nminor = 8\n", 1, 0x60008}, // 6.8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        const auto server = Publish(c.settings);
        CUpdateCheck check(kOwn67);
        uint32_t own = 0;
        uint32_t web = 0;
        EXPECT_EQ(check.CheckForUpdate(VersionFile(*server), own, web), c.result);
        EXPECT_EQ(own, 0x60007u);
        EXPECT_EQ(web, c.web);
        EXPECT_EQ(check.downloadAddress(), c.result == 1 ? server->origin() + "/download.html" : "");
    }
}

TEST_F(UpdateCheckTest, AsksTheServerItselfAsUpdateSearchAndLogsBothVersionsInHexadecimal)
{
    const auto server = Publish("major = 6\nminor = 11\n");
    CUpdateCheck check(std::array{6, 10, 0, 0});
    uint32_t own = 0;
    uint32_t web = 0;
    ASSERT_EQ(check.CheckForUpdate(VersionFile(*server), own, web), 1);
    EXPECT_NE(server->errorOutput().find(
                  "GET /binaries/version.txt -> 200 agent=\"Update search\" cache-control=\"no-cache\" "
                  "pragma=\"no-cache\""),
              std::string::npos)
        << server->errorOutput();
    EXPECT_NE(Log().find("CUpdateCheck: Current version is 6.a\r\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("CUpdateCheck: Web version is 6.b\r\n"), std::string::npos) << Log();
}

TEST_F(UpdateCheckTest, AnErrorPageReadsAsVersionZero)
{
    const auto server = Publish("major = 9\n");
    CUpdateCheck check(kOwn67);
    uint32_t own = 0;
    uint32_t web = 1;
    EXPECT_EQ(check.CheckForUpdate(server->origin() + "/binaries/missing.txt", own, web), 0);
    EXPECT_EQ(web, 0u);
    EXPECT_NE(Log().find("CUpdateCheck: Web version is 0.0"), std::string::npos) << Log();
}

TEST_F(UpdateCheckTest, AnUnreachableServerOrAnUnreadableVersionGivesNoUpdate)
{
    int port = 0;
    {
        // A port that was free a moment ago: nothing listens there.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        ::close(fd);
    }
    uint32_t own = 0;
    uint32_t web = 0;
    EXPECT_EQ(CUpdateCheck(kOwn67).CheckForUpdate("http://127.0.0.1:" + std::to_string(port) + "/binaries/version.txt",
                                                  own, web),
              0);
    EXPECT_EQ(CUpdateCheck(kOwn67).CheckForUpdate("not an address", own, web), 0);
    EXPECT_EQ(Log().find("CUpdateCheck: Web version"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Failed to read"), std::string::npos) << Log();

    // Without its own version the client checks nothing and says nothing.
    test::LoopbackServer server([&server](int fd) {
        server.Record(test::LoopbackServer::ReadRequest(fd));
        test::LoopbackServer::SendAll(fd, test::LoopbackServer::Reply("9|0|http://h/", 200, "text/plain"));
    });
    const std::string before = Log();
    EXPECT_EQ(CUpdateCheck(std::nullopt).CheckForUpdate(server.origin() + "/binaries/version.txt", own, web), 0);
    EXPECT_EQ(Log(), before);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateCheckTest, AReplyCutOffWhileReadIsLoggedAsAFailedRead)
{
    test::LoopbackServer server([](int fd) {
        test::LoopbackServer::ReadRequest(fd);
        test::LoopbackServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n6|8|http://h/");
    });
    uint32_t own = 0;
    uint32_t web = 0;
    EXPECT_EQ(CUpdateCheck(kOwn67).CheckForUpdate(server.origin() + "/binaries/version.txt", own, web), 0);
    EXPECT_NE(Log().find("CUpdateCheck: Failed to read Web version"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("CUpdateCheck: Web version"), std::string::npos) << Log();
}

TEST_F(UpdateCheckTest, RedirectsAreFollowedAskingEachServerItselfButNotForever)
{
    auto redirectTo = [](const std::string& location) {
        return "HTTP/1.0 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
    };
    test::LoopbackServer server([&](int fd) {
        const test::RawRequest request = test::LoopbackServer::ReadRequest(fd);
        server.Record(request);
        if (request.head.rfind("GET /binaries/version.txt ", 0) == 0)
            test::LoopbackServer::SendAll(fd, redirectTo("/current/version.txt"));
        else if (request.head.rfind("GET /current/version.txt ", 0) == 0)
            test::LoopbackServer::SendAll(fd, test::LoopbackServer::Reply("6|8|http://h.example/get", 200, "text/plain"));
        else
            test::LoopbackServer::SendAll(fd, redirectTo(server.origin() + "/loop"));
    });
    CUpdateCheck check(kOwn67);
    uint32_t own = 0;
    uint32_t web = 0;
    EXPECT_EQ(check.CheckForUpdate(server.origin() + "/binaries/version.txt", own, web), 1);
    EXPECT_EQ(check.downloadAddress(), "http://h.example/get");
    ASSERT_EQ(server.requests().size(), 2u);
    for (const test::RawRequest& request : server.requests()) {
        EXPECT_NE(request.head.find("\r\nUser-Agent: Update search\r\n"), std::string::npos) << request.head;
        EXPECT_NE(request.head.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << request.head;
        EXPECT_NE(request.head.find("\r\nPragma: no-cache\r\n"), std::string::npos) << request.head;
    }

    EXPECT_EQ(CUpdateCheck(kOwn67).CheckForUpdate(server.origin() + "/loop", own, web), 0);
    EXPECT_EQ(server.requests().size(), 2u + 1 + kMaxVersionRedirects);
    EXPECT_EQ(Log().find("CUpdateCheck: Web version is 0.0"), std::string::npos) << Log();
}

TEST_F(UpdateCheckTest, AMovedFileOverHttpsBehindAProxyIsFollowedToTheService)
{
    const auto certificate = test::MakeTestCertificate(SandboxPath(""));
    if (!certificate)
        GTEST_SKIP() << "the openssl command is missing (Debian package openssl): no test certificate";
    const std::string config = SandboxPath("moved.conf");
    WriteFile(config, "[version]\nmajor = 6\nminor = 8\ndownload = /get.html\nmoved_to = /binaries/current/version.txt\n");
    DevServerProcess server(SandboxPath("data"), {"--config", config, "--tls-cert", certificate->certificate,
                                                  "--tls-key", certificate->key});
    ASSERT_TRUE(server.running()) << server.errorOutput();
    // The proxy's own "200" for the tunnel is no answer of the service: the
    // service's redirect must be seen and followed.
    test::ConnectProxy proxy(static_cast<uint16_t>(server.port()));
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    ::setenv("https_proxy", proxy.address().c_str(), 1);
    ::setenv("QUAYLET_CA_BUNDLE", certificate->certificate.c_str(), 1);
    const std::string origin = std::string("https://") + test::kTunnelHost + ":" + std::to_string(server.port());

    CUpdateCheck check(kOwn67);
    uint32_t own = 0;
    uint32_t web = 0;
    EXPECT_EQ(check.CheckForUpdate(origin + "/binaries/version.txt", own, web), 1);
    EXPECT_EQ(check.downloadAddress(), origin + "/get.html");
    const std::string requests = server.errorOutput();
    EXPECT_NE(requests.find("GET /binaries/version.txt -> 301"), std::string::npos) << requests;
    EXPECT_NE(requests.find("GET /binaries/current/version.txt -> 200"), std::string::npos) << requests;
    EXPECT_EQ(proxy.requestLines().size(), 2u);
}

TEST_F(UpdateCheckTest, OnlyTheFirst512BytesAreReadAndTheLineEndIsNotPartOfTheAddress)
{
    struct Case {
        std::string published;
        std::string download;
    };
    const Case cases[] = {
        {"6|8|http://h.example/get\r\n", "http://h.example/get"},
        {"6|8|https://h.example/get\nsecond line\n", "https://h.example/get"},
        {"6|8|http://h.example/" + std::string(600, 'a'), "http://h.example/" + std::string(512 - 21, 'a')},
        // The numbers lie beyond the read: no version at all.
        {std::string(512, ' ') + "6|8|http://h.example/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.published.substr(0, 40));
        WriteFile(SandboxPath("published.txt"), c.published);
        const auto server = Publish("file = published.txt\n");
        CUpdateCheck check(kOwn67);
        uint32_t own = 0;
        uint32_t web = 0;
        EXPECT_EQ(check.CheckForUpdate(VersionFile(*server), own, web), c.download.empty() ? 0 : 1);
        EXPECT_EQ(check.downloadAddress(), c.download);
    }
}

TEST_F(UpdateCheckTest, ADownloadAddressThatIsNoWebAddressIsNeverOffered)
{
    const auto server = Publish("major = 6\nminor = 8\ndownload = file:///etc/passwd\n");
    CUpdateCheck check(kOwn67);
    uint32_t own = 0;
    uint32_t web = 0;
    EXPECT_EQ(check.CheckForUpdate(VersionFile(*server), own, web), 0);
    EXPECT_EQ(web, 0x60008u);
    EXPECT_EQ(check.downloadAddress(), "");
    EXPECT_NE(Log().find("CUpdateCheck: The download address is not a web address, version 6.8 not offered"),
              std::string::npos)
        << Log();
}

TEST(VersionFileTest, FieldsAreSplitReadLikeAtolAndCutTo16Bits)
{
    struct Case {
        std::string text;
        uint32_t version;
        std::string download;
    };
    const Case cases[] = {
        {"6|8|http://h/d", 0x60008, "http://h/d"},
        {"", 0, ""},
        {"7", 0x70000, ""},
        {"7|", 0x70000, ""},
        {" \t+7|-1|a|b", 0x7FFFF, "a"},
        {"7x|8.5|", 0x70008, ""},
        {"99999999999|1|", 0xFFFF0001, ""},  // stays at the largest long
        {"-99999999999|2|", 0x00000002, ""}, // the smallest long has no low bits
        {"<html><body>6|8", 0x00000008, ""},
        {std::string("6|8|a\0b", 7), 0x60008, "a"},
        {std::string("6\0|8|a", 6), 0x60000, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const WebVersion web = ParseVersionFile(c.text);
        EXPECT_EQ(web.version, c.version);
        EXPECT_EQ(web.downloadAddress, c.download);
    }
}

TEST(VersionFileTest, OnlyHttpAndHttpsAddressesAreOpened)
{
    struct Case {
        std::string field;
        std::optional<std::string> address;
    };
    const Case cases[] = {
        {"http://h.example/get", "http://h.example/get"},
        {"https://h.example:8443/get?x=1\r\n", "https://h.example:8443/get?x=1"},
        {"HTTPS://h.example/", "HTTPS://h.example/"},
        {"file:///etc/passwd", std::nullopt},
        {"javascript:alert(1)", std::nullopt},
        {"ftp://h.example/get", std::nullopt},
        {"/download.html", std::nullopt},
        {"http://", std::nullopt},
        {"http://h.example/a b", std::nullopt},
        {"http://h.example/\xff", std::nullopt},
        {"", std::nullopt},
        {"\r\nhttp://h.example/", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(WebDownloadAddress(c.field), c.address);
    }
}

} // namespace
} // namespace quaylet
