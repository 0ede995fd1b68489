#include "devserver/config.h"
#include "devserver/devserverprocess.h"
#include "devserver/multipart.h"
#include "platform/internet.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>

using namespace quaylet;
using namespace std::chrono_literals;
using quaylet::test::DevServerProcess;
using quaylet::test::SandboxPath;

namespace fs = std::filesystem;

namespace {

struct Reply {
    bool ok = false;
    int status = 0;
    std::string body;
    platform::InternetError error;
};

Reply Exchange(int port, const std::string& verb, const std::string& object, const std::string& contentType = {},
               const std::string& body = {})
{
    platform::InternetSession session;
    session.setTimeouts({2000ms, 3000ms});
    platform::InternetConnection conn(session, "127.0.0.1", static_cast<uint16_t>(port), false);
    platform::InternetRequest req(conn, verb, object);
    Reply r;
    if (!contentType.empty())
        req.addHeader("Content-Type", contentType);
    std::string got;
    char buf[4096];
    std::size_t n = 0;
    r.ok = req.sendHead(body.size());
    for (std::size_t off = 0; r.ok && off < body.size(); off += 1024)
        r.ok = req.write(body.data() + off, std::min<std::size_t>(1024, body.size() - off));
    r.ok = r.ok && req.endRequest();
    while (r.ok && (r.ok = req.read(buf, sizeof buf, n)) && n > 0)
        got.append(buf, n);
    r.status = req.statusCode();
    r.body = got;
    r.error = req.lastError();
    return r;
}

const std::string kBoundary = "----VELTA-0123456789abcdef0123456789abcdef-";

std::string UploadBody(const std::string& user, const std::string& password, const std::string& type,
                       const std::string& media, const std::string& fileName = "/home/u/Pictures/a photo.jpg")
{
    auto field = [](const std::string& name, const std::string& value) {
        return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    std::string body = field("appid", "glimmerly") + field("date", "20260102") + "--" + kBoundary +
                       "\r\nContent-Disposition: form-data; name=\"media\"; filename=\"" + fileName +
                       "\"\r\nContent-Type: image/jpeg\r\n\r\n" + media + "\r\n" + field("output", "xml") +
                       field("password", password) + field("time", "101112") + field("type", type) +
                       field("username", user) + "--" + kBoundary + "--\r\n";
    return body;
}

Reply Upload(int port, const std::string& user, const std::string& password, const std::string& type,
             const std::string& media)
{
    return Exchange(port, "POST", "/V1.0/Media.upload?method=Media.upload", "multipart/form-data; boundary=" + kBoundary,
                    UploadBody(user, password, type, media));
}

std::string Errcode(const Reply& r)
{
    if (r.body.find("<stat>ok</stat>") != std::string::npos)
        return "ok";
    const auto b = r.body.find("<errcode>");
    const auto e = r.body.find("</errcode>");
    return b == std::string::npos || e == std::string::npos ? "?" + r.body : r.body.substr(b + 9, e - b - 9);
}

// The client's small requests: bare delimiter lines, every field also in the query.
Reply SmallRequest(int port, const std::string& method, const std::string& query)
{
    const std::string b = "----------------GlimmerlyWinApp";
    const std::string body = b + "\r\nContent-Disposition: form-data; name=\"appid\"\r\n\r\nglimmerly\r\n\r\n" + b;
    return Exchange(port, "POST", "/V1.0/" + method + "?method=" + method + "&appid=glimmerly&output=xml" + query,
                    "multipart/form-data; boundary=" + b, body);
}

std::string WriteConfig(const std::string& text)
{
    const std::string path = SandboxPath("devserver.conf");
    quaylet::test::WriteFile(path, text);
    return path;
}

} // namespace

TEST(DevServerTest, UploadsAreStoredWithTheirFieldsAndAnsweredByDuplicateAndLimits)
{
    const std::string config = WriteConfig("[account carol]\npassword = pw\nphoto_limit = 2\nvideo_limit = 1\n"
                                           "[account dave]\npassword = pw\nupgrade_required = yes\n");
    const std::string data = SandboxPath("data");
    {
        DevServerProcess server(data, {"--config", config});
        ASSERT_TRUE(server.running()) << server.errorOutput();
        const int p = server.port();
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "photo", "photo A")), "ok");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "photo", "photo A")), "-3");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "photo", "photo B")), "ok");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "photo", "photo C")), "-6");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "video", "video A")), "ok");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "video_no_meta", "video B")), "-7");
        EXPECT_EQ(Errcode(Upload(p, "dave", "pw", "photo", "photo D")), "-5");
        EXPECT_EQ(Errcode(Upload(p, "carol", "wrong", "photo", "photo E")), "-1");
        EXPECT_EQ(Errcode(Upload(p, "carol", "pw", "sound", "photo F")), "-2");
    }
    // What was stored: the media bytes and the fields, never the password.
    const fs::path first = fs::path(data) / "carol" / "000001";
    EXPECT_EQ(quaylet::test::ReadFile((first / "media.jpg").string()), "photo A");
    const std::string fields = quaylet::test::ReadFile((first / "fields.txt").string());
    for (const char* line : {"username=carol\n", "type=photo\n", "date=20260102\n", "time=101112\n",
                             "filename=/home/u/Pictures/a photo.jpg\n", "size=7\n", "appid=glimmerly\n"})
        EXPECT_NE(fields.find(line), std::string::npos) << line << " in\n" << fields;
    EXPECT_EQ(fields.find("pw"), std::string::npos) << fields;
    EXPECT_EQ(fields.find("password"), std::string::npos) << fields;

    // The store outlives the server: duplicates and counts hold after a restart.
    DevServerProcess again(data, {"--config", config});
    ASSERT_TRUE(again.running());
    EXPECT_EQ(Errcode(Upload(again.port(), "carol", "pw", "photo", "photo B")), "-3");
    EXPECT_EQ(Errcode(Upload(again.port(), "carol", "pw", "photo", "photo G")), "-6");
}

TEST(DevServerTest, SignInAccountInformationAndNotification)
{
    const std::string picture = SandboxPath("spring.png");
    quaylet::test::WriteFile(picture, "\x89PNG picture bytes");
    const std::string config = WriteConfig("[account erin]\npassword = secret\npremium = 2\n"
                                           "[toast]\ntitle = Spring & sale\nname = Glimmerly\nmessage = Two <for> one\n"
                                           "href = /premiumupgrade.html\npicture = spring.png\npoll = 45\n");
    DevServerProcess server(SandboxPath("data"), {"--config", config});
    ASSERT_TRUE(server.running()) << server.errorOutput();
    const int p = server.port();
    const std::string hash = "e5e9fa1ba31ecd1ae84f75caaa474f3a663f05f4"; // SHA-1 of "secret"

    Reply r = SmallRequest(p, "User.login", "&username=erin&passwordhash=" + hash);
    ASSERT_TRUE(r.ok) << r.error.message;
    EXPECT_EQ(r.body, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<success>1</success>\n");
    r = SmallRequest(p, "User.login", "&username=erin&passwordhash=0000");
    EXPECT_NE(r.body.find("<success>0</success>\n<errors>Invalid username or password</errors>"), std::string::npos)
        << r.body;

    r = SmallRequest(p, "User.getInfo", "&username=erin");
    EXPECT_NE(r.body.find("<user>"), std::string::npos);
    EXPECT_NE(r.body.find("<premium>2</premium>"), std::string::npos) << r.body;

    r = SmallRequest(p, "User.getToast", "&username=erin");
    const std::string origin = server.origin();
    for (const std::string& part :
         {std::string("<title>Spring &amp; sale</title>"), "<src>" + origin + "/toast/spring.png</src>",
          std::string("<message>Two &lt;for&gt; one</message>"), "<href>" + origin + "/premiumupgrade.html</href>",
          std::string("<poll>45</poll>"), std::string("<name>Glimmerly</name>")})
        EXPECT_NE(r.body.find(part), std::string::npos) << part << " in\n" << r.body;
    const Reply pic = Exchange(p, "GET", "/toast/spring.png");
    EXPECT_EQ(pic.status, 200);
    EXPECT_EQ(pic.body, "\x89PNG picture bytes");
}

TEST(DevServerTest, VersionFilePagesAndDefaultNotification)
{
    const std::string config = WriteConfig("[account frank]\npassword = x\n[toast]\nenabled = no\n"
                                           "[version]\nmajor = 2\nminor = 5\n");
    DevServerProcess server(SandboxPath("data"), {"--config", config});
    ASSERT_TRUE(server.running());
    const int p = server.port();
    Reply r = Exchange(p, "GET", "/binaries/version.txt");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "2|5|" + server.origin() + "/download.html");
    for (const char* page : {"/", "/frank", "/premiumupgrade.html?username=frank&limit=1",
                             "/quayletemail.html?username=frank",
                             "/support/index.php?_m=knowledgebase&_a=view&parentcategoryid=6&pcid=0&nav=0",
                             "/download.html", "/signup.html"}) {
        r = Exchange(p, "GET", page);
        EXPECT_EQ(r.status, 200) << page;
        EXPECT_NE(r.body.find("<html>"), std::string::npos) << page;
    }
    EXPECT_EQ(Exchange(p, "GET", "/nobody").status, 404);
    r = SmallRequest(p, "User.getToast", "&username=frank");
    EXPECT_NE(r.body.find("<toast/>"), std::string::npos) << r.body;
}

TEST(DevServerTest, VersionFileFromAFileIsServedByteForByteAndItsRequestLogged)
{
    const std::string published = "3|1|http://example.invalid/get\r\n\r\n" + std::string(600, 'x');
    test::WriteFile(SandboxPath("published.txt"), published);
    const std::string config = WriteConfig("[version]\nmajor = 2\nfile = published.txt\n");
    DevServerProcess server(SandboxPath("data"), {"--config", config});
    ASSERT_TRUE(server.running());
    const Reply r = Exchange(server.port(), "GET", "/binaries/version.txt");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, published);
    EXPECT_NE(server.errorOutput().find("GET /binaries/version.txt -> 200 agent=\"Quaylet/"), std::string::npos)
        << server.errorOutput();
}

TEST(DevServerTest, FaultOptions)
{
    DevServerProcess server(SandboxPath("data"),
                            {"--fault", "garbage@User.login", "--fault", "delay=300@User.getInfo", "--fault",
                             "drop=2000@Media.upload"});
    ASSERT_TRUE(server.running()) << server.errorOutput();
    const int p = server.port();

    Reply r = SmallRequest(p, "User.login", "&username=alice&passwordhash=x");
    ASSERT_TRUE(r.ok) << platform::InternetFailureName(r.error.failure) << ": " << r.error.message << "\n"
                      << server.errorOutput();
    EXPECT_EQ(r.body.find("<?xml"), std::string::npos);
    EXPECT_EQ(r.body.find("<success>"), std::string::npos);

    const auto start = std::chrono::steady_clock::now();
    r = SmallRequest(p, "User.getInfo", "&username=alice");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_NE(r.body.find("<premium>0</premium>"), std::string::npos);

    r = Upload(p, "alice", "wonderland", "photo", std::string(3 * 1024 * 1024, 'p'));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.failure == platform::InternetFailure::Send ||
                r.error.failure == platform::InternetFailure::Receive)
        << platform::InternetFailureName(r.error.failure) << ": " << r.error.message;
    EXPECT_FALSE(fs::exists(SandboxPath("data/alice")));
    // Small uploads below the drop point still go through.
    EXPECT_EQ(Errcode(Upload(p, "alice", "wonderland", "photo", "tiny")), "ok");
}

TEST(DevServerTest, PrintsItsPortAndStopsCleanlyOnSigterm)
{
    DevServerProcess server(SandboxPath("data"));
    ASSERT_TRUE(server.running());
    EXPECT_GT(server.port(), 0);
    EXPECT_TRUE(platform::CheckInternetConnection(server.origin() + "/", 2000ms));
    const int status = server.terminate();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(server.errorOutput().find("stopped"), std::string::npos);
}

// A stop that comes as soon as the port is printed, before serving has
// begun, must still end the server. The race is narrow: many rounds.
TEST(DevServerTest, SigtermRightAfterStartStopsIt)
{
    for (int i = 0; i < 40; ++i) {
        DevServerProcess server(SandboxPath("data"));
        ASSERT_TRUE(server.running());
        platform::CheckInternetConnection(server.origin() + "/", 2000ms);
        const int status = server.terminate();
        ASSERT_TRUE(WIFEXITED(status)) << "round " << i << ": " << status;
    }
}

TEST(DevServerConfigTest, ParsesAccountsAndRejectsMistakes)
{
    std::string error;
    const auto config = devserver::ParseConfig("# comment\n[account g h]\npassword = p w\npremium = yes\n"
                                               "photo_limit = 3\n[faults]\nfault = drop=10@Media.upload\n"
                                               "fault = rate=2000\n",
                                               "/etc", error);
    ASSERT_TRUE(config) << error;
    const devserver::Account* a = config->findAccount("g h");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->password, "p w");
    EXPECT_EQ(a->premium, 1);
    EXPECT_EQ(a->photoLimit, 3);
    EXPECT_EQ(a->videoLimit, -1);
    EXPECT_TRUE(config->faults.drop.appliesTo("Media.upload"));
    EXPECT_FALSE(config->faults.drop.appliesTo("User.login"));
    EXPECT_EQ(config->faults.dropAfter, 10u);
    EXPECT_TRUE(config->faults.rate.appliesTo("User.getInfo"));
    EXPECT_EQ(config->faults.bytesPerSecond, 2000u);

    for (const char* bad : {"password = x\n", "[account a]\npremium = maybe\n", "[nonsense]\n",
                            "[account a]\n[account a]\n", "[faults]\nfault = explode\n", "[faults]\nfault = rate=0\n", "[toast\n",
                            "[faults]\nfault = status=99\n", "[faults]\nfault = trickle=0\n", "[faults]\nfault = redirect=\n"}) {
        EXPECT_FALSE(devserver::ParseConfig(bad, "", error)) << bad;
        EXPECT_NE(error.find("line "), std::string::npos);
    }
}

TEST(DevServerMultipartTest, ReadsBothDelimiterForms)
{
    const std::string bare = "----------------GlimmerlyWinApp";
    const std::string small = bare + "\r\nContent-Disposition: form-data; name=\"appid\"\r\n\r\nglimmerly\r\n" + bare +
                              "\r\nContent-Disposition: form-data; name=\"username\"\r\n\r\na b&c\r\n\r\n" + bare;
    auto parts = devserver::ParseMultipart(small, devserver::BoundaryOf("multipart/form-data; boundary=" + bare));
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].name, "appid");
    EXPECT_EQ(parts[0].content, "glimmerly");
    EXPECT_EQ(parts[1].name, "username");
    EXPECT_EQ(parts[1].content, "a b&c\r\n"); // the closing text adds one line break of its own

    const std::string standard = UploadBody("u", "p", "photo", "bytes\r\n--not a delimiter\r\n");
    parts = devserver::ParseMultipart(standard, kBoundary);
    ASSERT_EQ(parts.size(), 8u);
    EXPECT_EQ(parts[1].name, "date");
    EXPECT_TRUE(parts[2].isFile);
    EXPECT_EQ(parts[2].filename, "/home/u/Pictures/a photo.jpg");
    EXPECT_EQ(parts[2].contentType, "image/jpeg");
    EXPECT_EQ(parts[2].content, "bytes\r\n--not a delimiter\r\n");
    EXPECT_EQ(parts[7].content, "u");
}
