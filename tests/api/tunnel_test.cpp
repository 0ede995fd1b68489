// The service over https behind a proxy that tunnels with CONNECT: what the
// requests see must be the service's reply, never the proxy's answer to the
// tunnel.

#include "api/uploadcall.h"
#include "core/logfile.h"
#include "devserver/config.h"
#include "devserver/devserver.h"
#include "platform/connectproxy.h"
#include "platform/internet.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace quaylet;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
using namespace std::chrono_literals;

namespace {

class SilentObserver final : public IUploadObserver {
public:
    void setProgressMaximum(int) override {}
    void setProgressPosition(int percentage) override { last = percentage; }
    void setStatusTextLimited(const std::string&) override {}
    void setStatusText(const std::string&) override {}
    bool cancelRequested() const override { return false; }
    int last = -1;
};

class TunnelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto certificate = test::MakeTestCertificate(SandboxPath(""));
        if (!certificate)
            GTEST_SKIP() << "the openssl command is missing (Debian package openssl): no test certificate";
        OpenLog("Quaylet.log");
        platform::SetDefaultInternetTimeouts({5000ms, 5000ms});
        server = std::make_unique<devserver::DevServer>(devserver::DefaultConfig(), SandboxPath("devdata"),
                                                        devserver::TlsFiles{certificate->certificate, certificate->key});
        std::string error;
        ASSERT_TRUE(server->bind("127.0.0.1", 0, error)) << error;
        server->start();
        proxy = std::make_unique<test::ConnectProxy>(static_cast<uint16_t>(server->port()));
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
        ::setenv("https_proxy", proxy->address().c_str(), 1);
        ::setenv("QUAYLET_CA_BUNDLE", certificate->certificate.c_str(), 1);
        origin = std::string("https://") + test::kTunnelHost + ":" + std::to_string(server->port());
        ::setenv("QUAYLET_SERVICE_URL", origin.c_str(), 1);
    }

    std::unique_ptr<devserver::DevServer> server;
    std::unique_ptr<test::ConnectProxy> proxy;
    std::string origin;
};

} // namespace

TEST_F(TunnelTest, TheStatusAndHeadersAreTheServicesAndTheCertificateIsChecked)
{
    {
        platform::InternetSession session;
        platform::InternetConnection connection(session, test::kTunnelHost, static_cast<uint16_t>(server->port()),
                                                true);
        platform::InternetRequest request(connection, "GET", "/no-such-page.html");
        ASSERT_TRUE(request.sendHead(0)) << request.lastError().message;
        ASSERT_TRUE(request.endRequest()) << request.lastError().message;
        EXPECT_EQ(request.statusCode(), 404);
        const std::string& headers = request.responseHeaders();
        EXPECT_EQ(headers.rfind("HTTP/1.1 404", 0), 0u) << headers;
        EXPECT_EQ(headers.find("Connection established"), std::string::npos) << headers;
        EXPECT_EQ(headers.find("Proxy-Agent"), std::string::npos) << headers;
        std::string body(4096, '\0');
        std::size_t got = 0;
        ASSERT_TRUE(request.read(body.data(), body.size(), got));
        EXPECT_NE(body.substr(0, got).find("Not found"), std::string::npos);
    }
    ASSERT_FALSE(proxy->requestLines().empty());
    EXPECT_EQ(proxy->requestLines().front().rfind(std::string("CONNECT ") + test::kTunnelHost + ":", 0), 0u);

    // The certificate is trusted only because the test names it: without
    // that, the system's authorities refuse it.
    ::unsetenv("QUAYLET_CA_BUNDLE");
    platform::InternetSession session;
    platform::InternetConnection connection(session, test::kTunnelHost, static_cast<uint16_t>(server->port()), true);
    platform::InternetRequest request(connection, "GET", "/");
    EXPECT_FALSE(request.sendHead(0) && request.endRequest());
    EXPECT_EQ(request.lastError().failure, platform::InternetFailure::Tls) << request.lastError().message;
}

TEST_F(TunnelTest, AnUploadIsStoredAndItsResultIsTheServicesReply)
{
    const std::string path = SandboxPath("tunnelled.jpg");
    const std::string content(700000, 'q');
    WriteFile(path, content);
    SilentObserver observer;
    ASSERT_EQ(HTTPMethodUpload(observer, path, "alice", "wonderland", kMediaPhoto, 1262347445), 1);
    EXPECT_EQ(observer.last, 100);
    EXPECT_EQ(ReadFile(SandboxPath("devdata/alice/000001/media.jpg")), content);
    const std::string text = ReadFile("Quaylet.log");
    EXPECT_NE(text.find("HTTPMethodUpload: Response: <?xml"), std::string::npos) << text;

    // A service that refuses the upload with a status page: its reply is read,
    // not taken as delivered and answered by the tunnel's "200".
    devserver::FaultOptions faults;
    std::string error;
    ASSERT_TRUE(devserver::ParseFault("status=503@Media.upload", faults, error)) << error;
    server->setFaults(faults);
    SilentObserver refused;
    EXPECT_EQ(HTTPMethodUpload(refused, path, "alice", "wonderland", kMediaPhoto, 1262347445), -4);
}
