#include "http/errors.h"
#include "http/httpclient.h"

#include "platform/internet.h"
#include "platform/loopbackserver.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <functional>
#include <thread>
#include <string>
#include <vector>

using namespace Velto;
using quaylet::test::LoopbackServer;
using quaylet::test::RawRequest;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
using namespace std::chrono_literals;

namespace {

std::string Pattern(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 13 + i / 257) & 0xff);
    return s;
}

// A server that records each request and answers with a fixed reply.
struct RecordingServer {
    std::string reply = "<rsp stat=\"ok\"/>";
    LoopbackServer server{[this](int fd) {
        const RawRequest r = LoopbackServer::ReadRequest(fd, 20s);
        server.Record(r);
        LoopbackServer::SendAll(fd, LoopbackServer::Reply(reply));
    }};
    std::string url() const
    {
        return "127.0.0.1:" + std::to_string(server.port()) + "/V1.0/Media.upload?method=Media.upload";
    }
};

// Drives a started post to its response, checking after every call that the
// client never claims more bytes than it announced.
std::unique_ptr<CHttpResponseT> Drive(CHttpClientT& client, uint32_t piece = 1024, int* calls = nullptr)
{
    CHttpPostStatT stat;
    for (int n = 1; n < 1000000; ++n) {
        if (auto response = client.ProceedPost(piece)) {
            if (calls)
                *calls = n;
            return response;
        }
        client.QueryPostStat(stat);
        EXPECT_LE(stat.ActualPostedByte(), stat.ActualTotalByte());
    }
    ADD_FAILURE() << "no response";
    return nullptr;
}

std::string ReadAll(CHttpResponseT& response)
{
    std::string out;
    char buf[100];
    while (const std::size_t n = response.ReadContent(buf, sizeof buf))
        out.append(buf, n);
    return out;
}

std::string Header(const std::string& head, const std::string& name)
{
    const auto at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "(missing)";
    const auto begin = at + name.size() + 4;
    return head.substr(begin, head.find("\r\n", begin) - begin);
}

int ErrorCodeOf(const std::function<void()>& call, std::string* message = nullptr)
{
    try {
        call();
    } catch (const httpclientexceptionA& e) {
        if (message)
            *message = e.ErrorMessage();
        return e.ErrorCode();
    }
    return -1;
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        quaylet::platform::SetDefaultInternetTimeouts({5000ms, 5000ms});
    }
};

} // namespace

TEST_F(HttpClientTest, UploadBodyIsStandardMultipartInNameOrderWithItsExactLength)
{
    const std::string path = SandboxPath("photo \"1\".bin");
    const std::string content = Pattern(2500);
    WriteFile(path, content);
    RecordingServer srv;
    CHttpClientT client;
    client.HeaderMap().Add("X-b", "2");
    client.HeaderMap().Add("x-A", "1");
    client.AddParam("b", "two");
    client.AddParam("media", path.c_str(), kParamFile);
    client.AddParam("A", "one");
    client.AddParam("c", "");
    client.StartUpload(srv.url(), false);
    auto response = Drive(client);
    ASSERT_TRUE(response);
    EXPECT_EQ(ReadAll(*response), srv.reply);
    EXPECT_FALSE(client.IsPostActive());

    const std::string& b = client.Boundary();
    std::string escaped = path;
    escaped.replace(escaped.find('"'), 1, "%22");
    escaped.replace(escaped.find('"'), 1, "%22");
    const std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"A\"\r\n\r\none\r\n"
                                 "--" + b + "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\ntwo\r\n"
                                 "--" + b + "\r\nContent-Disposition: form-data; name=\"c\"\r\n\r\n\r\n"
                                 "--" + b + "\r\nContent-Disposition: form-data; name=\"media\"; filename=\"" +
                                 escaped + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content +
                                 "\r\n--" + b + "--\r\n";
    const auto requests = srv.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const RawRequest& r = requests[0];
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.body, expected);
    EXPECT_EQ(Header(r.head, "Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(r.head.rfind("POST /V1.0/Media.upload?method=Media.upload HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(Header(r.head, "Content-Type"), "multipart/form-data; boundary=" + b);
    EXPECT_EQ(Header(r.head, "Cache-Control"), "no-cache");
    EXPECT_EQ(Header(r.head, "User-Agent"), "Velto HTTP Client Class");
    // Extra headers go out in case-insensitive name order.
    EXPECT_LT(r.head.find("x-A: 1"), r.head.find("X-b: 2"));
}

TEST_F(HttpClientTest, ProxyAccountIsSentToTheProxy)
{
    // The loopback server stands in for a proxy; the service's host name is
    // never resolved here, the proxy is asked for it.
    RecordingServer proxy;
    CHttpClientT client;
    client.SetInternet(INTERNET_OPEN_TYPE_PROXY, proxy.server.origin(), std::nullopt, 0);
    client.SetProxyAccount("user", "pass");
    client.AddParam("a", "b");
    client.StartUpload("upload.glimmerly.example/V1.0/x?method=x");
    ASSERT_TRUE(Drive(client));
    const auto requests = proxy.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head.rfind("POST http://upload.glimmerly.example/V1.0/x?method=x HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(Header(requests[0].head, "Proxy-Authorization"), "Basic dXNlcjpwYXNz");
}

TEST_F(HttpClientTest, SpecialBodies)
{
    const std::string missing = SandboxPath("gone.jpg");
    const struct {
        const char* what;
        std::function<void(CHttpClientT&)> params;
        std::function<std::string(const std::string& b)> body;
    } cases[] = {
        {"no parameters", [](CHttpClientT&) {}, [](const std::string& b) { return "\r\n--" + b + "--\r\n"; }},
        {"missing value",
         [](CHttpClientT& c) { c.AddParam("x", nullptr); },
         [](const std::string& b) {
             return "--" + b + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n\r\n--" + b + "--\r\n";
         }},
        {"missing file, lenient",
         [&](CHttpClientT& c) { c.AddParam("media", missing.c_str(), kParamFile); },
         [&](const std::string& b) {
             return "--" + b + "\r\nContent-Disposition: form-data; name=\"media\"; filename=\"" + missing +
                    "\"\r\nContent-Type: application/octet-stream\r\n\r\n\r\n--" + b + "--\r\n";
         }},
    };
    for (const auto& c : cases) {
        RecordingServer srv;
        CHttpClientT client;
        c.params(client);
        client.StartUpload(srv.url(), true);
        ASSERT_TRUE(Drive(client, 7)) << c.what;
        const auto requests = srv.server.requests();
        ASSERT_EQ(requests.size(), 1u) << c.what;
        EXPECT_EQ(requests[0].body, c.body(client.Boundary())) << c.what;
        EXPECT_EQ(Header(requests[0].head, "Content-Length"), std::to_string(requests[0].body.size())) << c.what;
        EXPECT_EQ(Header(requests[0].head, "Cache-Control"), "(missing)") << c.what;
    }
}

TEST_F(HttpClientTest, LargeFilesArriveWholeWhateverThePieceSize)
{
    // Files of several staged blocks and sizes that fit no block, in pieces
    // that end short of a block, that do not divide it, and that are larger
    // than one or than the whole stage: the file is read ahead into the
    // stage, and every byte must still go out once and in order.
    const std::string first = Pattern(1300001);
    const std::string second = Pattern(3) + Pattern(700000);
    const std::string a = SandboxPath("a.bin"), b = SandboxPath("b.bin");
    WriteFile(a, first);
    WriteFile(b, second);
    for (const uint32_t piece : {1024u, 1000u, 300000u, 700000u}) {
        SCOPED_TRACE(piece);
        RecordingServer srv;
        CHttpClientT client;
        client.AddParam("a", a.c_str(), kParamFile);
        client.AddParam("b", b.c_str(), kParamFile);
        client.AddParam("c", "value");
        client.StartUpload(srv.url());
        ASSERT_TRUE(Drive(client, piece));
        const auto requests = srv.server.requests();
        ASSERT_EQ(requests.size(), 1u);
        const std::string& body = requests[0].body;
        const std::string head = "\r\nContent-Type: application/octet-stream\r\n\r\n";
        const std::size_t firstAt = body.find(head) + head.size();
        const std::size_t secondAt = body.find(head, firstAt) + head.size();
        EXPECT_EQ(body.compare(firstAt, first.size() + 2, first + "\r\n"), 0);
        EXPECT_EQ(body.compare(secondAt, second.size() + 2, second + "\r\n"), 0);
        EXPECT_EQ(Header(requests[0].head, "Content-Length"), std::to_string(body.size()));
        EXPECT_NE(body.find("name=\"c\"\r\n\r\nvalue\r\n--" + client.Boundary() + "--\r\n"), std::string::npos);
    }
}

TEST_F(HttpClientTest, FileIsSentInDesiredStepsWithLiveStatistics)
{
    const std::string path = SandboxPath("a.bin");
    WriteFile(path, Pattern(3000));
    RecordingServer srv;
    CHttpClientT client;
    client.AddParam("media", path.c_str(), kParamFile);
    client.AddParam("name", "v");

    CHttpPostStatT stat;
    client.QueryPostStat(stat);
    EXPECT_FALSE(stat.IsActive());

    client.StartUpload(srv.url());
    client.QueryPostStat(stat);
    // Before the first piece the first parameter already shows as current.
    EXPECT_EQ(stat.PostedCount(), 1u);
    EXPECT_EQ(stat.PostedFileCount(), 1u);
    EXPECT_TRUE(stat.CurrParamIsFile());
    EXPECT_EQ(stat.CurrParamTotalByte(), 3000u);
    EXPECT_EQ(stat.CurrParamPostedByte(), 0u);
    EXPECT_EQ(stat.ActualPostedByte(), 0u);
    EXPECT_EQ(stat.TotalCount(), 2u);
    EXPECT_EQ(stat.FileCount(), 1u);
    const uint32_t total = stat.ActualTotalByte();

    // One piece per call: the file's head, 1024, 1024 and 952 content bytes
    // (the last with its CR LF), the value part's head, its byte, the closing
    // line. The counts show what the service has received: never more than
    // was written, never falling.
    uint32_t last = 0;
    for (int i = 0; i < 7; ++i) {
        ASSERT_FALSE(client.ProceedPost(1024)) << i;
        client.QueryPostStat(stat);
        EXPECT_GE(stat.ActualPostedByte(), last) << i;
        last = stat.ActualPostedByte();
    }
    // The call that wrote the closing line handed the body over and waited
    // for the service to receive it; the statistics are still active.
    EXPECT_TRUE(stat.IsActive());
    EXPECT_EQ(stat.ActualPostedByte(), total);
    EXPECT_EQ(stat.PostedCount(), 2u);
    EXPECT_FALSE(stat.CurrParamIsFile());
    EXPECT_EQ(stat.CurrParamPostedByte(), 1u);
    EXPECT_TRUE(stat.CurrParamIsComplete());

    auto response = client.ProceedPost(1024);
    ASSERT_TRUE(response);
    client.QueryPostStat(stat);
    EXPECT_FALSE(stat.IsActive());
    EXPECT_EQ(srv.server.requests().at(0).body.size(), total);
}

TEST_F(HttpClientTest, MisuseAndBadAddressesLeaveTheClientIdle)
{
    CHttpClientT client;
    EXPECT_EQ(ErrorCodeOf([&] { client.ProceedPost(1024); }), 104);

    const struct {
        const char* url;
        int code;
    } cases[] = {
        {"127.0.0.1:123456/p", 107},
        {"127.0.0.1:80a/p", 107},
        {"127.0.0.1:65536/p", 107},
        {"http://:80/p", 103},
        {"/p", 103},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorCodeOf([&] { client.StartUpload(c.url); }), c.code) << c.url;
        EXPECT_FALSE(client.IsPostActive()) << c.url;
    }

    const std::string missing = SandboxPath("missing.jpg");
    CHttpClientT strict;
    strict.SetStrictFileCheck(true);
    strict.AddParam("media", missing.c_str(), kParamFile);
    std::string message;
    RecordingServer srv;
    EXPECT_EQ(ErrorCodeOf([&] { strict.StartUpload(srv.url()); }, &message), 603);
    EXPECT_EQ(message, "OpenFile (::CreateFile) failed (\"" + missing + "\").");
    EXPECT_TRUE(srv.server.requests().empty());

    RecordingServer srv2;
    CHttpClientT active;
    active.StartUpload(srv2.url());
    EXPECT_EQ(ErrorCodeOf([&] { active.AddParam("x", "y"); }, &message), 0);
    EXPECT_EQ(message, "CHttpClientT::AddParam: It is not allowed to call this method if the POST context is active.");
    EXPECT_EQ(ErrorCodeOf([&] { active.ProceedPost(0); }, &message), 0);
    EXPECT_EQ(message, "CHttpClientT::_ProceedUploadContext: nDesired can not be zero.");
}

TEST_F(HttpClientTest, FifoInPlaceOfTheFileFailsAtOnceInsteadOfWaitingForAWriter)
{
    const std::string fifo = SandboxPath("swapped.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should the open wait for a writer, one turns up after two seconds, so a
    // failure shows as a slow call rather than a hung test.
    std::thread unblock([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    CHttpClientT client;
    client.SetStrictFileCheck(true);
    client.AddParam("media", fifo.c_str(), kParamFile);
    RecordingServer srv;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorCodeOf([&] { client.StartUpload(srv.url()); }), 603);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    unblock.join();
}

TEST_F(HttpClientTest, FileThatShrinksAfterTheStartFailsWithoutAWrongBody)
{
    // Shrunk before the first piece, and in the middle, after whole blocks
    // have gone out and with bytes read ahead of the pieces.
    for (const int piecesFirst : {0, 700}) {
        SCOPED_TRACE(piecesFirst);
        const std::string path = SandboxPath("shrinks.bin");
        WriteFile(path, Pattern(1000000));
        RecordingServer srv;
        CHttpClientT client;
        client.AddParam("media", path.c_str(), kParamFile);
        client.StartUpload(srv.url());
        for (int i = 0; i < piecesFirst; ++i)
            ASSERT_FALSE(client.ProceedPost(1024));
        std::filesystem::resize_file(path, 800000);
        const int code = ErrorCodeOf([&] { Drive(client); });
        EXPECT_EQ(code, 105);
        EXPECT_FALSE(client.IsPostActive());
        for (const RawRequest& r : srv.server.requests())
            EXPECT_FALSE(r.complete);
    }
}

TEST_F(HttpClientTest, FileThatGrowsAfterTheStartSendsTheAnnouncedBytes)
{
    const std::string path = SandboxPath("grows.bin");
    const std::string content = Pattern(100000);
    WriteFile(path, content);
    RecordingServer srv;
    CHttpClientT client;
    client.AddParam("media", path.c_str(), kParamFile);
    client.StartUpload(srv.url());
    WriteFile(path, content + Pattern(5000));
    ASSERT_TRUE(Drive(client));
    const std::string body = srv.server.requests().at(0).body;
    EXPECT_NE(body.find(content + "\r\n--" + client.Boundary() + "--\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, FileOfFourGibibytesCannotBeDescribed)
{
    const std::string path = SandboxPath("huge.bin");
    WriteFile(path, "");
    std::filesystem::resize_file(path, 4ull * 1024 * 1024 * 1024);
    RecordingServer srv;
    CHttpClientT client;
    client.AddParam("media", path.c_str(), kParamFile);
    EXPECT_EQ(ErrorCodeOf([&] { client.StartUpload(srv.url()); }), 112);
    EXPECT_TRUE(srv.server.requests().empty());
}

TEST_F(HttpClientTest, ConnectionDroppedMidBodyFailsTheWrite)
{
    const std::string path = SandboxPath("big.bin");
    WriteFile(path, Pattern(8 * 1024 * 1024));
    LoopbackServer server([](int fd) {
        char buf[65536];
        std::size_t got = 0;
        while (got < 200000) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        // Closing with unread data makes the kernel reset the connection.
    });
    CHttpClientT client;
    client.AddParam("media", path.c_str(), kParamFile);
    client.StartUpload("127.0.0.1:" + std::to_string(server.port()) + "/x");
    const int code = ErrorCodeOf([&] { Drive(client, 65536); });
    EXPECT_TRUE(code == 408 || code == 409) << code;
    EXPECT_FALSE(client.IsPostActive());
}

TEST_F(HttpClientTest, ThreadAbortCheckStillStopsAClientWithItsOwnCheck)
{
    const std::string path = SandboxPath("big.bin");
    WriteFile(path, Pattern(16 * 1024 * 1024));
    LoopbackServer stall([&stall](int fd) {
        char buf[4096];
        (void)!::read(fd, buf, sizeof buf);
        for (int i = 0; i < 100 && !stall.stopping(); ++i)
            std::this_thread::sleep_for(50ms);
    });
    std::atomic<bool> quit{false};
    quaylet::platform::ScopedInternetAbort guard([&] { return quit.load(); });
    CHttpClientT client;
    client.SetAbortCheck([] { return false; });
    client.AddParam("media", path.c_str(), kParamFile);
    client.StartUpload("127.0.0.1:" + std::to_string(stall.port()) + "/x");
    std::thread quitter([&] {
        std::this_thread::sleep_for(300ms);
        quit = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorCodeOf([&] { Drive(client, 65536); }), 408);
    quitter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(client.IsPostActive());
}
