#include "platform/internet.h"
#include "platform/loopbackserver.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace quaylet::platform;
using quaylet::test::LoopbackServer;
using quaylet::test::RawRequest;
using namespace std::chrono_literals;

namespace {

// Waits (bounded) until the peer hangs up: a server that never answers.
void HoldUntilPeerCloses(int fd)
{
    char buf[4096];
    for (int i = 0; i < 200; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::read(fd, buf, sizeof buf) <= 0)
            return;
    }
}

std::string Pattern(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return s;
}

// Reads the whole reply in small steps.
bool ReadAll(InternetRequest& req, std::string& out, std::size_t step = 511)
{
    std::vector<char> buf(step);
    for (;;) {
        std::size_t got = 0;
        if (!req.read(buf.data(), buf.size(), got))
            return false;
        if (got == 0)
            return true;
        out.append(buf.data(), got);
    }
}

uint16_t FreePortNobodyListensOn()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace

TEST(InternetRequestTest, PushedBodyArrivesWholeWithAnnouncedLengthAndHeaders)
{
    // Three MiB in 1024-byte pieces: well above the size at which libcurl would
    // otherwise ask for a 100-continue.
    const std::string body = Pattern(3 * 1024 * 1024 + 17);
    const std::string reply = Pattern(700 * 1024); // larger than the receive high-water mark
    LoopbackServer server([&](int fd) {
        const RawRequest r = LoopbackServer::ReadRequest(fd, 20s);
        server.Record(r);
        LoopbackServer::SendAll(fd, LoopbackServer::Reply(reply, 201, "application/octet-stream"));
    });

    InternetSession session;
    InternetConnection conn(session, "127.0.0.1", server.port(), false);
    InternetRequest req(conn, "POST", "/V1.0/User.login?method=User.login&appid=glimmerly", HttpVersion::Http10);
    ASSERT_TRUE(req.addHeaders("Accept: text/xml\r\nAccept-Language: en-us\r\nConnection: Keep-Alive\r\n"
                               "Content-Type: multipart/form-data; boundary=xyz\r\n",
                               true));
    ASSERT_TRUE(req.sendHead(body.size())) << req.lastError().message;
    for (std::size_t off = 0; off < body.size(); off += 1024) {
        ASSERT_TRUE(req.write(body.data() + off, std::min<std::size_t>(1024, body.size() - off)))
            << req.lastError().message;
        ASSERT_EQ(req.written(), std::min<std::size_t>(off + 1024, body.size()));
    }
    ASSERT_TRUE(req.endRequest()) << req.lastError().message;
    EXPECT_EQ(req.statusCode(), 201);
    std::string got;
    ASSERT_TRUE(ReadAll(req, got));
    EXPECT_TRUE(got == reply) << "reply differs, " << got.size() << " bytes";

    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    const RawRequest& r = recorded[0];
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.head.rfind("POST /V1.0/User.login?method=User.login&appid=glimmerly HTTP/1.0\r\n", 0), 0u) << r.head;
    for (const char* line : {"\r\nAccept: text/xml\r\n", "\r\nAccept-Language: en-us\r\n", "\r\nConnection: Keep-Alive\r\n",
                             "\r\nContent-Type: multipart/form-data; boundary=xyz\r\n", "\r\nHost: 127.0.0.1:",
                             "\r\nUser-Agent: Quaylet/"}) {
        EXPECT_NE(r.head.find(line), std::string::npos) << line << " missing in\n" << r.head;
    }
    EXPECT_NE(r.head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
    EXPECT_EQ(r.head.find("Expect"), std::string::npos) << r.head;
    EXPECT_EQ(r.head.find("chunked"), std::string::npos) << r.head;
    EXPECT_TRUE(r.body == body);
}

TEST(InternetRequestTest, BodyLengthMustMatchTheAnnouncedTotal)
{
    LoopbackServer server([](int fd) { HoldUntilPeerCloses(fd); });
    InternetSession session;
    InternetConnection conn(session, "127.0.0.1", server.port(), false);
    {
        InternetRequest req(conn, "POST", "/x");
        ASSERT_TRUE(req.sendHead(10));
        ASSERT_TRUE(req.write("12345", 5));
        EXPECT_FALSE(req.endRequest());
        EXPECT_EQ(req.lastError().failure, InternetFailure::BodyIncomplete);
        // A failed request stays failed.
        EXPECT_FALSE(req.write("12345", 5));
        EXPECT_EQ(req.lastError().failure, InternetFailure::BodyIncomplete);
    }
    {
        InternetRequest req(conn, "POST", "/x");
        ASSERT_TRUE(req.sendHead(4));
        EXPECT_FALSE(req.write("12345", 5));
        EXPECT_EQ(req.lastError().failure, InternetFailure::BadArgument);
    }
    {
        InternetRequest req(conn, "POST", "/x");
        EXPECT_FALSE(req.addHeader("Content-Length", "3"));
        EXPECT_FALSE(req.addHeaders("Bad\r\n"));
        EXPECT_FALSE(req.addHeader("X-Injected", "a\r\nEvil: 1"));
    }
}

TEST(InternetRequestTest, FailuresEndWithinTheTimeouts)
{
    InternetSession session;
    session.setTimeouts({2000ms, 400ms});

    // Nobody listens: refused at once.
    {
        InternetConnection conn(session, "127.0.0.1", FreePortNobodyListensOn(), false);
        InternetRequest req(conn, "POST", "/x");
        EXPECT_FALSE(req.sendHead(3));
        EXPECT_EQ(req.lastError().failure, InternetFailure::Connect) << req.lastError().message;
    }
    // Accepts, reads, never answers.
    {
        LoopbackServer server([](int fd) { HoldUntilPeerCloses(fd); });
        InternetConnection conn(session, "127.0.0.1", server.port(), false);
        InternetRequest req(conn, "POST", "/x");
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(req.sendHead(3));
        ASSERT_TRUE(req.write("abc", 3));
        EXPECT_FALSE(req.endRequest());
        EXPECT_EQ(req.lastError().failure, InternetFailure::TimedOut);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    }
    // Answers the head, then stalls in the middle of the body.
    {
        LoopbackServer server([](int fd) {
            LoopbackServer::SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npartial");
            HoldUntilPeerCloses(fd);
        });
        InternetConnection conn(session, "127.0.0.1", server.port(), false);
        InternetRequest req(conn, "GET", "/x");
        ASSERT_TRUE(req.sendHead(0));
        ASSERT_TRUE(req.endRequest());
        std::string got;
        EXPECT_FALSE(ReadAll(req, got));
        EXPECT_EQ(got, "partial");
        EXPECT_EQ(req.lastError().failure, InternetFailure::TimedOut);
    }
    // Closes the connection before the announced reply length.
    {
        LoopbackServer server([](int fd) {
            LoopbackServer::ReadRequest(fd);
            LoopbackServer::SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\ntruncated");
        });
        InternetConnection conn(session, "127.0.0.1", server.port(), false);
        InternetRequest req(conn, "GET", "/x");
        ASSERT_TRUE(req.sendHead(0));
        ASSERT_TRUE(req.endRequest());
        std::string got;
        EXPECT_FALSE(ReadAll(req, got));
        EXPECT_EQ(req.lastError().failure, InternetFailure::Receive) << req.lastError().message;
    }
}

TEST(InternetRequestTest, TricklingServerIsCutOffByTheOverallLimit)
{
    // One byte of reply every 50 ms: never still for long enough to trip the
    // no-progress limit, and it would go on for ten seconds.
    auto trickle = [](LoopbackServer& self, int fd) {
        LoopbackServer::ReadRequest(fd);
        LoopbackServer::SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 200\r\n\r\n");
        for (int i = 0; i < 200 && !self.stopping(); ++i) {
            LoopbackServer::SendAll(fd, "x");
            std::this_thread::sleep_for(50ms);
        }
    };
    InternetTimeouts timeouts;
    timeouts.connect = 2000ms;
    timeouts.noProgress = 2000ms;
    timeouts.overall = 600ms;
    {
        LoopbackServer server([&](int fd) { trickle(server, fd); });
        InternetSession session;
        session.setTimeouts(timeouts);
        InternetConnection conn(session, "127.0.0.1", server.port(), false);
        InternetRequest req(conn, "POST", "/x");
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(req.sendHead(3));
        ASSERT_TRUE(req.write("abc", 3));
        ASSERT_TRUE(req.endRequest());
        std::string got;
        EXPECT_FALSE(ReadAll(req, got));
        EXPECT_EQ(req.lastError().failure, InternetFailure::TimedOut) << req.lastError().message;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_GT(got.size(), 2u); // bytes did move meanwhile
    }
    {
        const InternetTimeouts before = DefaultInternetTimeouts();
        SetDefaultInternetTimeouts(timeouts);
        LoopbackServer server([&](int fd) { trickle(server, fd); });
        const std::string path = quaylet::test::SandboxPath("trickled.bin");
        InternetError error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(DownloadToFile(server.origin() + "/pic", path, &error));
        EXPECT_EQ(error.failure, InternetFailure::TimedOut) << error.message;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        SetDefaultInternetTimeouts(before);
    }
}

// Under a send rate limit a body goes at that rate, in even steps, even when
// the caller stages it all at once in a large upload buffer (as uploads do);
// the overall limit and the no-progress limit make room for it, so a body
// that would be cut off at the plain overall limit arrives whole. A server
// that then never answers is still given up on.
TEST(InternetRequestTest, LimitedBodyGoesEvenlyAtTheLimitAndIsNotTakenForDead)
{
    const std::string body = Pattern(160 * 1024);
    std::atomic<bool> answer{true};
    LoopbackServer server([&](int fd) {
        server.Record(LoopbackServer::ReadRequest(fd, 20s));
        if (answer)
            LoopbackServer::SendAll(fd, LoopbackServer::Reply("ok"));
        else
            HoldUntilPeerCloses(fd);
    });
    InternetTimeouts timeouts;
    timeouts.connect = 2000ms;
    timeouts.noProgress = 1000ms;
    // Unlimited, the body would have to arrive within 0.5 s + 0.16 s.
    timeouts.overall = 500ms;
    timeouts.slowestBodyRate = 1024 * 1024;
    InternetSession session;
    session.setTimeouts(timeouts);
    session.setSendRateLimit(64 * 1024);
    InternetConnection conn(session, "127.0.0.1", server.port(), false);

    InternetRequest req(conn, "POST", "/upload");
    req.setUploadBufferSize(256 * 1024);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(req.sendHead(body.size())) << req.lastError().message;
    std::set<uint64_t> steps;
    for (std::size_t written = 0; written < body.size();) {
        std::size_t taken = 0;
        ASSERT_TRUE(req.writeSome(body.data() + written, body.size() - written, taken, 100ms))
            << req.lastError().message;
        written += taken;
        steps.insert(req.sent());
    }
    while (!req.delivered()) {
        ASSERT_TRUE(req.waitDelivered(100ms)) << req.lastError().message;
        steps.insert(req.sent());
    }
    ASSERT_TRUE(req.endRequest()) << req.lastError().message;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(req.statusCode(), 200);
    EXPECT_GT(took, 1800ms) << "160 KiB at 64 KiB/s take 2.5 s";
    EXPECT_LT(took, 5s);
    EXPECT_GE(steps.size(), 6u) << "the progress jumped";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].body == body);

    answer = false;
    InternetRequest unanswered(conn, "POST", "/upload");
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(unanswered.sendHead(1000));
    ASSERT_TRUE(unanswered.write(body.data(), 1000));
    EXPECT_FALSE(unanswered.endRequest());
    EXPECT_EQ(unanswered.lastError().failure, InternetFailure::TimedOut) << unanswered.lastError().message;
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s);
}

TEST(InternetRequestTest, DroppedConnectionDuringTheBodyFailsTheWrite)
{
    LoopbackServer server([](int fd) {
        char buf[1000];
        (void)!::read(fd, buf, sizeof buf);
        // Reset instead of an orderly close.
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    });
    InternetSession session;
    session.setTimeouts({2000ms, 2000ms});
    InternetConnection conn(session, "127.0.0.1", server.port(), false);
    InternetRequest req(conn, "POST", "/x");
    const std::string piece(64 * 1024, 'x');
    const std::size_t total = 64 * piece.size();
    // The reset may reach the client while it sends the head or any piece after it.
    bool failed = !req.sendHead(total);
    for (std::size_t off = 0; off < total && !failed; off += piece.size())
        failed = !req.write(piece.data(), piece.size());
    if (!failed)
        failed = !req.endRequest();
    EXPECT_TRUE(failed);
    EXPECT_TRUE(req.lastError().failure == InternetFailure::Send || req.lastError().failure == InternetFailure::Receive)
        << InternetFailureName(req.lastError().failure) << ": " << req.lastError().message;
}

TEST(InternetRequestTest, AbortCheckInterruptsABlockingCall)
{
    LoopbackServer server([](int fd) { HoldUntilPeerCloses(fd); });
    std::atomic<bool> quit{false};
    ScopedInternetAbort guard([&] { return quit.load(); });
    InternetSession session; // takes the thread's abort check
    InternetConnection conn(session, "127.0.0.1", server.port(), false);
    InternetRequest req(conn, "POST", "/x");
    ASSERT_TRUE(req.sendHead(1));
    ASSERT_TRUE(req.write("a", 1));
    std::thread setter([&] {
        std::this_thread::sleep_for(200ms);
        quit = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(req.endRequest());
    setter.join();
    EXPECT_EQ(req.lastError().failure, InternetFailure::Aborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // far below the 30 s no-progress time-out
}

TEST(InternetCheckTest, ConnectionCheckSeesListenersOnly)
{
    LoopbackServer server([](int) {});
    EXPECT_TRUE(CheckInternetConnection(server.origin() + "/", 2000ms));
    InternetError error;
    EXPECT_FALSE(CheckInternetConnection("http://127.0.0.1:" + std::to_string(FreePortNobodyListensOn()) + "/",
                                         2000ms, &error));
    EXPECT_EQ(error.failure, InternetFailure::Connect);
    // For https the check includes the TLS handshake, which a plain server fails.
    LoopbackServer plain([](int fd) {
        LoopbackServer::ReadRequest(fd, 200ms);
        LoopbackServer::SendAll(fd, LoopbackServer::Reply("not tls"));
    });
    EXPECT_FALSE(CheckInternetConnection("https://127.0.0.1:" + std::to_string(plain.port()) + "/", 2000ms, &error));
    EXPECT_EQ(error.failure, InternetFailure::Tls) << error.message;
}

TEST(InternetDownloadTest, DownloadReplacesTheFileOnlyWhenComplete)
{
    const std::string picture = Pattern(100000);
    LoopbackServer server([&](int fd) {
        const RawRequest r = LoopbackServer::ReadRequest(fd);
        if (r.head.rfind("GET /pic.jpg ", 0) == 0)
            LoopbackServer::SendAll(fd, LoopbackServer::Reply(picture, 200, "image/jpeg"));
        else if (r.head.rfind("GET /moved ", 0) == 0)
            LoopbackServer::SendAll(fd, "HTTP/1.0 302 Found\r\nLocation: /pic.jpg\r\nContent-Length: 0\r\n\r\n");
        else
            LoopbackServer::SendAll(fd, LoopbackServer::Reply("<html>missing</html>", 404, "text/html"));
    });
    const std::string path = quaylet::test::SandboxPath("toast.jpg");
    quaylet::test::WriteFile(path, "old");

    InternetError error;
    EXPECT_FALSE(DownloadToFile(server.origin() + "/nothing", path, &error));
    EXPECT_EQ(error.failure, InternetFailure::HttpStatus);
    EXPECT_EQ(quaylet::test::ReadFile(path), "old");

    EXPECT_FALSE(DownloadToFile(server.origin() + "/pic.jpg", path, &error, 1000));
    EXPECT_EQ(quaylet::test::ReadFile(path), "old");

    ASSERT_TRUE(DownloadToFile(server.origin() + "/moved", path, &error)) << error.message;
    EXPECT_TRUE(quaylet::test::ReadFile(path) == picture);
    // No leftovers of the partial files.
    for (const auto& e : std::filesystem::directory_iterator(quaylet::test::SandboxDir()))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

TEST(InternetDownloadTest, OnlyWebAddressesAreFetchedAlsoAfterARedirect)
{
    const std::string secret = quaylet::test::SandboxPath("secret.txt");
    quaylet::test::WriteFile(secret, "private bytes");
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadRequest(fd);
        LoopbackServer::SendAll(fd, "HTTP/1.0 302 Found\r\nLocation: file://" + secret +
                                        "\r\nContent-Length: 0\r\n\r\n");
    });
    const std::string path = quaylet::test::SandboxPath("fetched.bin");
    for (const std::string& url : {"file://" + secret, server.origin() + "/moved", std::string("dict://127.0.0.1:1/")}) {
        InternetError error;
        EXPECT_FALSE(DownloadToFile(url, path, &error)) << url;
        EXPECT_NE(error.failure, InternetFailure::None) << url;
        EXPECT_FALSE(std::filesystem::exists(path)) << url;
    }
}

TEST(PercentCodingTest, DecodeAndEncode)
{
    struct Case {
        const char* in;
        const char* decoded;
    };
    for (const Case& c : {Case{"a%20b", "a b"}, Case{"%41%2a%2A", "A**"}, Case{"100%", "100%"}, Case{"%zz%4", "%zz%4"},
                          Case{"a+b", "a+b"}, Case{"%C3%A9t%C3%A9", "\xC3\xA9t\xC3\xA9"}, Case{"", ""}}) {
        EXPECT_EQ(PercentDecode(c.in), c.decoded) << c.in;
    }
    EXPECT_EQ(PercentEncode("alice"), "alice");
    EXPECT_EQ(PercentEncode("A-Z.a_z~09"), "A-Z.a_z~09");
    EXPECT_EQ(PercentEncode("a b&c=d\r\n\xC3\xA9/%"), "a%20b%26c%3Dd%0D%0A%C3%A9%2F%25");
    EXPECT_EQ(PercentDecode(PercentEncode("x y\xff")), "x y\xff");
}
