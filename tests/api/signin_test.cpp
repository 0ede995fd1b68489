#include "api/endpoints.h"
#include "api/requestcomposer.h"
#include "api/signin.h"
#include "core/logfile.h"
#include "devserver/devserverprocess.h"
#include "platform/internet.h"
#include "platform/loopbackserver.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

using namespace quaylet;
using namespace std::chrono_literals;
using test::LoopbackServer;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::string NewLog(const std::string& before)
{
    return test::ReadFile("Quaylet.log").substr(before.size());
}

class SignInTest : public ::testing::Test {
protected:
    void SetUp() override { OpenLog("Quaylet.log"); }
    void pointAt(const std::string& origin) { ::setenv(kServiceUrlVariable, origin.c_str(), 1); }
};

} // namespace

TEST_F(SignInTest, OutcomesOfCannedReplies)
{
    struct Case {
        const char* what;
        std::string reply;
        int result;
        std::string errorText;
        const char* extraLog; // a reader line the case must produce
    };
    const Case cases[] = {
        {"success with blanks and line breaks", kDecl + "\r\n<success>\r\n 1 \r\n</success>\r\n<errors></errors>", 1, "",
         nullptr},
        {"refused with errors", kDecl + "\n<success>0</success>\n<errors>Wrong password</errors>", -4, "Wrong password",
         nullptr},
        {"errors without success", kDecl + "<errors>No such user</errors>", -4, "No such user",
         "ProcessXMLResponse: Exception caught!!!"},
        {"success 2 is no success", kDecl + "<success>2</success>", -4, "", nullptr},
        {"HTML page", "<html><head><title>502</title></head><body>Bad gateway</body></html>", -4, "",
         "ProcessXMLResponse: Document FAILED to load"},
        {"no declaration", "<success>1</success>", -4, "", "ProcessXMLResponse: Document FAILED to load"},
        {"empty reply", "", -4, "", "ProcessXMLResponse: Document FAILED to load"},
        {"truncated", kDecl + "<success>1</succ", -4, "", "ProcessXMLResponse: Document FAILED to load"},
        {"not UTF-8", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><success>0</success><errors>Mot \xE9rron\xE9</errors>",
         -4, "Mot \xE9rron\xE9", nullptr},
        {"zero byte ends the text", kDecl + "<success>1</success>" + std::string(1, '\0') + "<junk", 1, "", nullptr},
    };
    for (const Case& c : cases) {
        LoopbackServer server([&](int fd) {
            const test::RawRequest r = LoopbackServer::ReadRequest(fd);
            server.Record(r);
            LoopbackServer::SendAll(fd, LoopbackServer::Reply(c.reply));
        });
        pointAt(server.origin());
        const std::string before = test::ReadFile("Quaylet.log");
        std::string errorText = "stale";
        EXPECT_EQ(HTTPMethodLogin("alice", "0123456789abcdef0123456789abcdef01234567", errorText), c.result) << c.what;
        EXPECT_EQ(errorText, c.errorText) << c.what;
        const std::string log = NewLog(before);
        EXPECT_NE(log.find("HTTPMethodLoin: Begin"), std::string::npos) << c.what;
        EXPECT_NE(log.find("HTTPMethodLogin: Type: HTTP_VERB_POST ConURI: /V1.0/User.login?method=User.login"
                           "&appid=glimmerly&output=xml&username=alice&passwordhash=***\r\n"),
                  std::string::npos)
            << c.what << "\n" << log;
        EXPECT_EQ(log.find("0123456789abcdef"), std::string::npos) << "the hash must not reach the log";
        EXPECT_NE(log.find("HTTPMethodLogin: Response: "), std::string::npos) << c.what;
        EXPECT_NE(log.find("HTTPMethodLogin: End: Return: " + std::to_string(c.result)), std::string::npos) << c.what;
        if (c.extraLog != nullptr) {
            EXPECT_NE(log.find(c.extraLog), std::string::npos) << c.what << "\n" << log;
        }
        ASSERT_EQ(server.requests().size(), 1u);
    }
}

TEST_F(SignInTest, RequestOnTheWire)
{
    LoopbackServer server([&](int fd) {
        server.Record(LoopbackServer::ReadRequest(fd));
        LoopbackServer::SendAll(fd, LoopbackServer::Reply(kDecl + "<success>1</success>"));
    });
    pointAt(server.origin() + "/");
    std::string errorText;
    const std::string user = "J\xC3\xB6rg & Co";
    ASSERT_EQ(HTTPMethodLogin(user, "abc", errorText), 1);
    const test::RawRequest r = server.requests().at(0);
    EXPECT_EQ(r.head.rfind("POST /V1.0/User.login?method=User.login&appid=glimmerly&output=xml"
                           "&username=J%C3%B6rg%20%26%20Co&passwordhash=abc HTTP/1.0\r\n",
                           0),
              0u)
        << r.head;
    const ComposedRequest composed = ComposeRequest(
        kMethodLogin, {{"appid", "glimmerly"}, {"output", "xml"}, {"username", user}, {"passwordhash", "abc"}});
    EXPECT_EQ(r.body, composed.parts + composed.closing);
    for (const std::string& line :
         {std::string("\r\nAccept: text/xml\r\n"), std::string("\r\nAccept-Language: en-us\r\n"),
          std::string("\r\nConnection: Keep-Alive\r\n"),
          std::string("\r\nContent-Type: multipart/form-data; boundary=----------------GlimmerlyWinApp\r\n"),
          "\r\nContent-Length: " + std::to_string(composed.contentLength) + "\r\n"})
        EXPECT_NE(r.head.find(line), std::string::npos) << line << "\n" << r.head;
}

TEST_F(SignInTest, NetworkFailuresEndWithinTheTimeouts)
{
    platform::SetDefaultInternetTimeouts({2000ms, 500ms});
    const auto expectFailure = [&](const char* what) {
        const std::string before = test::ReadFile("Quaylet.log");
        std::string errorText = "stale";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(HTTPMethodLogin("alice", "abc", errorText), -4) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << what;
        EXPECT_EQ(errorText, "") << what;
        const std::string log = NewLog(before);
        EXPECT_NE(log.find("HTTPMethodLogin: Exception caught!!!"), std::string::npos) << what << "\n" << log;
        EXPECT_NE(log.find("HTTPMethodLogin: End: Return: -4"), std::string::npos) << what;
    };
    {
        // Accepts and never answers.
        LoopbackServer server([](int fd) {
            char buf[4096];
            for (int i = 0; i < 200; ++i) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0 && ::read(fd, buf, sizeof buf) <= 0)
                    return;
            }
        });
        pointAt(server.origin());
        expectFailure("silent server");
    }
    {
        // A 50 MiB reply is refused, not collected.
        LoopbackServer server([](int fd) {
            LoopbackServer::ReadRequest(fd);
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 52428800\r\n\r\n" + kDecl + "<success>";
            LoopbackServer::SendAll(fd, head);
            const std::string chunk(1024 * 1024, '1');
            for (int i = 0; i < 50; ++i)
                LoopbackServer::SendAll(fd, chunk);
        });
        pointAt(server.origin());
        expectFailure("huge reply");
    }
    {
        int port = 0;
        {
            LoopbackServer gone([](int) {});
            port = gone.port();
        }
        pointAt("http://127.0.0.1:" + std::to_string(port));
        expectFailure("refused");
    }
    pointAt("http://quaylet-test.invalid");
    expectFailure("unknown host");
    {
        const std::string before = test::ReadFile("Quaylet.log");
        pointAt("ftp://nowhere");
        std::string errorText;
        EXPECT_EQ(HTTPMethodLogin("alice", "abc", errorText), -4);
        EXPECT_NE(NewLog(before).find("HTTPMethodLogin: OpenRequest failed!!!"), std::string::npos);
    }
}

TEST_F(SignInTest, AgainstTheDevelopmentService)
{
    const std::string config = test::SandboxPath("dev.conf");
    test::WriteFile(config, "[account J\xC3\xB6rg & Co]\npassword = pw\n[account alice]\npassword = wonderland\n");
    test::DevServerProcess server(test::SandboxPath("data"), {"--config", config});
    ASSERT_TRUE(server.running());
    pointAt(server.origin());
    std::string errorText;
    // SHA-1 of "wonderland" and of "pw".
    EXPECT_EQ(HTTPMethodLogin("alice", "f0e2a3c4e6f8f8a9c0b1d2e3f4a5b6c7d8e9f0a1", errorText), -4);
    EXPECT_EQ(errorText, "Invalid username or password");
    EXPECT_EQ(HTTPMethodLogin("J\xC3\xB6rg & Co", "1a91d62f7ca67399625a4368a6ab5d4a3baa6073", errorText), 1)
        << server.errorOutput();
    EXPECT_EQ(errorText, "");

    test::DevServerProcess faulty(test::SandboxPath("data2"), {"--fault", "garbage@User.login"});
    ASSERT_TRUE(faulty.running());
    pointAt(faulty.origin());
    EXPECT_EQ(HTTPMethodLogin("alice", "x", errorText), -4);
    EXPECT_EQ(errorText, "");
}
