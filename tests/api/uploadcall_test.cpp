#include "api/getinfocall.h"
#include "api/uploadcall.h"
#include "core/logfile.h"
#include "devserver/config.h"
#include "devserver/devserver.h"
#include "platform/internet.h"
#include "platform/loopbackserver.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace quaylet;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + i / 509) & 0xff);
    return s;
}

// Records what the upload shows; can cancel after a number of pieces.
class RecordingObserver final : public IUploadObserver {
public:
    void setProgressMaximum(int maximum) override { this->maximum = maximum; }
    void setProgressPosition(int percentage) override
    {
        positions.push_back(percentage);
        if (cancelAfter >= 0 && static_cast<int>(positions.size()) >= cancelAfter && !cancel) {
            if (beforeCancel)
                beforeCancel();
            cancel = true;
        }
    }
    void setStatusTextLimited(const std::string& text) override { limited.push_back(text); }
    void setStatusText(const std::string& text) override { direct.push_back(text); }
    bool cancelRequested() const override { return cancel.load(); }

    int maximum = 0;
    std::vector<int> positions;
    std::vector<std::string> limited, direct;
    std::atomic<bool> cancel{false};
    int cancelAfter = -1;
    std::function<void()> beforeCancel;
};

class UploadCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        OpenLog("Quaylet.log");
        platform::SetDefaultInternetTimeouts({5000ms, 5000ms});
        startServer(devserver::DefaultConfig());
    }

    void startServer(const devserver::DevConfig& config)
    {
        server.reset();
        server = std::make_unique<devserver::DevServer>(config, SandboxPath("devdata"));
        std::string error;
        ASSERT_TRUE(server->bind("127.0.0.1", 0, error)) << error;
        server->start();
        ::setenv("QUAYLET_SERVICE_URL", server->origin().c_str(), 1);
    }

    void setFault(const std::string& fault)
    {
        devserver::FaultOptions faults;
        std::string error;
        ASSERT_TRUE(devserver::ParseFault(fault, faults, error)) << error;
        server->setFaults(faults);
    }

    int upload(const std::string& path, int64_t mediaTime = 1262347445, int type = kMediaPhoto)
    {
        return HTTPMethodUpload(observer, path, "alice", "wonderland", type, mediaTime);
    }

    static std::string log() { return ReadFile("Quaylet.log"); }

    std::string storedFile(const std::string& name, int n = 1) const
    {
        char folder[16];
        std::snprintf(folder, sizeof folder, "%06d", n);
        return SandboxPath("devdata/alice/" + std::string(folder) + "/" + name);
    }

    std::unique_ptr<devserver::DevServer> server;
    RecordingObserver observer;
};

} // namespace

TEST_F(UploadCallTest, StoresTheFileByteForByteWithItsFieldsAndProgress)
{
    const std::string path = SandboxPath("holiday photo.jpg");
    const std::string content = Pattern(300000);
    WriteFile(path, content);
    ASSERT_EQ(upload(path), 1);

    EXPECT_EQ(ReadFile(storedFile("media.jpg")), content);
    const std::string fields = ReadFile(storedFile("fields.txt"));
    for (const char* line : {"appid=glimmerly\n", "output=xml\n", "username=alice\n", "date=20100101\n",
                             "time=120405\n", "type=photo\n"})
        EXPECT_NE(fields.find(line), std::string::npos) << line;
    EXPECT_NE(fields.find("filename=" + path + "\n"), std::string::npos);
    EXPECT_EQ(fields.find("wonderland"), std::string::npos);

    // One pass per part head and per 1024 content bytes; the percentage never
    // falls and the last pass shows 100.
    EXPECT_EQ(observer.maximum, 100);
    ASSERT_GT(observer.positions.size(), 300000u / 1024);
    EXPECT_TRUE(std::is_sorted(observer.positions.begin(), observer.positions.end()));
    EXPECT_EQ(observer.positions.back(), 100);
    ASSERT_FALSE(observer.direct.empty());
    EXPECT_EQ(observer.direct.back(), "Uploading: 100%");
    EXPECT_EQ(observer.limited.front(), "Uploading: 0%");
    for (const std::string& text : observer.direct)
        EXPECT_GE(std::atoi(text.c_str() + 11), 98) << text;

    const std::string text = log();
    EXPECT_NE(text.find("HTTPMethodUpload: Begin"), std::string::npos);
    EXPECT_NE(text.find("Percentage: 100\r\n"), std::string::npos);
    EXPECT_NE(text.find("HTTPMethodUpload: Response: <?xml"), std::string::npos);
    EXPECT_NE(text.find("HTTPMethodUpload: End"), std::string::npos);
}

TEST_F(UploadCallTest, TenThousandBytesTakeTenContentPasses)
{
    const std::string path = SandboxPath("ten.jpg");
    WriteFile(path, Pattern(10000));
    ASSERT_EQ(upload(path), 1);
    // Eight part heads, seven one-piece values, ten file pieces, the closing
    // line, and the pass whose call returns the response.
    EXPECT_EQ(observer.positions.size(), 8u + 7u + 10u + 1u + 1u);
    EXPECT_EQ(observer.positions.back(), 100);
    EXPECT_LT(observer.positions[observer.positions.size() - 2], 100);
}

TEST_F(UploadCallTest, ResultsFollowTheReply)
{
    const std::string padding(2000, 'x');
    const struct {
        const char* what;
        std::string reply; // empty: the service's own answer to a second upload
        int result;
    } cases[] = {
        {"ok in capitals", "<?xml version=\"1.0\"?><rsp><stat>OK</stat></rsp>", 1},
        {"ok between line breaks and blanks", "<rsp><stat>\n ok\n</stat></rsp>", 1},
        {"fail between blanks", "<rsp><stat> fail\t</stat><errcode>\n-3\n</errcode></rsp>", -3},
        {"long reply", "<?xml version=\"1.0\"?><rsp><note>" + padding + "</note><stat>ok</stat></rsp>", 1},
        {"errcode", "<rsp><stat>fail</stat><errcode> -6</errcode></rsp>", -6},
        {"other errcode", "<rsp><stat>fail</stat><errcode>-2</errcode></rsp>", -2},
        {"fail without errcode", "<rsp><stat>fail</stat></rsp>", -4},
        {"no stat", "<rsp><errcode>-3</errcode></rsp>", -4},
        {"html error page", "<html><body><h1>502 Bad Gateway</h1></body></html>", -4},
        {"over a MiB", "<rsp><stat>ok</stat><x>" + std::string(1100000, 'y') + "</x></rsp>", -4},
    };
    const std::string path = SandboxPath("a.jpg");
    int n = 0;
    for (const auto& c : cases) {
        WriteFile(path, Pattern(5000) + std::to_string(++n)); // new content: never a duplicate
        const std::string replyFile = SandboxPath("reply.xml");
        WriteFile(replyFile, c.reply);
        setFault("reply=" + replyFile + "@Media.upload");
        EXPECT_EQ(upload(path), c.result) << c.what;
    }
    EXPECT_NE(log().find("HTTPMethodUpload: Response: <?xml version=\"1.0\"?><rsp><note>xxxx"), std::string::npos);
}

TEST_F(UploadCallTest, DuplicateMediaGivesTheServiceCode)
{
    const std::string path = SandboxPath("b.jpg");
    WriteFile(path, Pattern(4000));
    EXPECT_EQ(upload(path), 1);
    EXPECT_EQ(upload(path), -3);
}

TEST_F(UploadCallTest, CancelBeforeTheFirstPieceAndInTheMiddle)
{
    const std::string path = SandboxPath("c.jpg");
    WriteFile(path, Pattern(200000));
    observer.cancel = true;
    EXPECT_EQ(upload(path), -8);
    EXPECT_TRUE(observer.positions.empty());
    // Nothing is sent, and the log tells it like any cancel.
    const std::string text = log();
    const auto progress = text.find("Upload: Total: 0, Posted: 0, Percentage: 0\r\n");
    ASSERT_NE(progress, std::string::npos) << text;
    EXPECT_NE(text.find("HTTPMethodUpload: Exception :0, 0\r\n", progress), std::string::npos) << text;

    RecordingObserver middle;
    middle.cancelAfter = 50;
    EXPECT_EQ(HTTPMethodUpload(middle, path, "alice", "wonderland", kMediaPhoto, 0), -8);
    EXPECT_EQ(middle.positions.size(), 50u);
    EXPECT_FALSE(fs::exists(storedFile("media.jpg")));
}

TEST_F(UploadCallTest, AFailureWhileACancelIsPendingKeepsItsCode)
{
    const std::string path = SandboxPath("dropped.jpg");
    WriteFile(path, Pattern(10000));
    // The service drops the connection before the last pass, which sends the
    // staged body; the cancel comes just before that pass.
    setFault("drop=0@Media.upload");
    observer.cancelAfter = 8 + 7 + 10 + 1 + 1;
    observer.beforeCancel = [] { std::this_thread::sleep_for(300ms); };
    EXPECT_EQ(upload(path), -8);
    const std::string text = log();
    EXPECT_NE(text.find("HTTPMethodUpload: Exception :40"), std::string::npos) << text;
    EXPECT_EQ(text.find("HTTPMethodUpload: Exception :0, 0"), std::string::npos) << text;
}

TEST_F(UploadCallTest, ClientSideFailuresGiveMinusEight)
{
    const std::string path = SandboxPath("d.jpg");
    WriteFile(path, Pattern(400000));
    setFault("drop=100000@Media.upload");
    EXPECT_EQ(upload(path), -8);
    EXPECT_NE(log().find("HTTPMethodUpload: Exception :40"), std::string::npos);

    server->setFaults({});
    const std::string missing = SandboxPath("gone.jpg");
    EXPECT_EQ(upload(missing), -8);
    const std::string text = log();
    EXPECT_NE(text.find("HTTPMethodUpload: Exception :603, 2"), std::string::npos);
    EXPECT_NE(text.find("OpenFile (::CreateFile) failed (\"" + missing + "\")."), std::string::npos);

    // A file the 32-bit body length cannot describe is refused before sending.
    const std::string huge = SandboxPath("huge.mp4");
    WriteFile(huge, "");
    fs::resize_file(huge, 4ull * 1024 * 1024 * 1024); // sparse: takes no room
    EXPECT_EQ(upload(huge), -8);
    EXPECT_NE(log().find("HTTPMethodUpload: " + huge + " is too large to upload (4294967296 bytes"),
              std::string::npos);

    // Nobody listens any more.
    const std::string origin = server->origin();
    server.reset();
    EXPECT_EQ(upload(path), -8);
    EXPECT_FALSE(fs::exists(storedFile("media.jpg")));
}

TEST_F(UploadCallTest, StalledServiceIsCutOffByCancel)
{
    const std::string path = SandboxPath("e.jpg");
    WriteFile(path, Pattern(8 * 1024 * 1024));
    // A service that takes the head and then never reads the body.
    test::LoopbackServer stall([&stall](int fd) {
        char buf[4096];
        (void)!::read(fd, buf, sizeof buf);
        for (int i = 0; i < 100 && !stall.stopping(); ++i)
            std::this_thread::sleep_for(50ms);
    });
    ::setenv("QUAYLET_SERVICE_URL", stall.origin().c_str(), 1);
    observer.cancelAfter = 400; // by then writes block on the full socket
    const auto start = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(500ms);
        observer.cancel = true;
    });
    EXPECT_EQ(upload(path), -8);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_NE(log().find("HTTPMethodUpload: Exception :0, 0"), std::string::npos);

    // Without a cancel the no-progress time-out ends it.
    platform::SetDefaultInternetTimeouts({5000ms, 300ms});
    RecordingObserver patient;
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(HTTPMethodUpload(patient, path, "alice", "wonderland", kMediaPhoto, 0), -8);
    EXPECT_LT(std::chrono::steady_clock::now() - again, 3s);
    EXPECT_NE(log().find("HTTPMethodUpload: Exception :408, 28"), std::string::npos);
}

TEST_F(UploadCallTest, ACancelDuringABlockedWriteIsLoggedAsACancel)
{
    const std::string path = SandboxPath("slow.jpg");
    WriteFile(path, Pattern(16 * 1024 * 1024));
    // The service takes the body slowly: each write waits for room, and the
    // cancel comes while one blocks, so the network layer's abort ends it.
    server.reset();
    devserver::DevConfig config = devserver::DefaultConfig();
    std::string error;
    ASSERT_TRUE(devserver::ParseFault("rate=200000@Media.upload", config.faults, error)) << error;
    startServer(config);
    // The thread's own abort check (the transfer thread's cancel and quit)
    // is asked only inside network calls: the user's cancel comes while a
    // write blocks.
    const platform::ScopedInternetAbort cancelInsideAWrite([this] {
        if (observer.positions.size() < 300)
            return false;
        observer.cancel = true;
        return true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(upload(path), -8);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    const std::string text = log();
    EXPECT_NE(text.find("HTTPMethodUpload: Exception :0, 0\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("HTTPMethodUpload: Exception :4"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(storedFile("slow.jpg")));
}

TEST_F(UploadCallTest, MediaTimeAndTypeTexts)
{
    const struct {
        int64_t time;
        int type;
        const char *date, *clock, *typeText;
    } cases[] = {
        {951782400, kMediaVideo, "date=20000229\n", "time=000000\n", "type=video\n"},
        {INT64_MAX, kMediaVideoNoMeta, "date=00000000\n", "time=-1-1-1\n", "type=video_no_meta\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = SandboxPath("v" + std::to_string(n) + ".mp4");
        WriteFile(path, Pattern(3000) + std::to_string(n));
        ASSERT_EQ(upload(path, c.time, c.type), 1);
        const std::string fields = ReadFile(storedFile("fields.txt", ++n));
        EXPECT_NE(fields.find(c.date), std::string::npos) << fields;
        EXPECT_NE(fields.find(c.clock), std::string::npos) << fields;
        EXPECT_NE(fields.find(c.typeText), std::string::npos) << fields;
    }
}

TEST(UploadPercentageTest, ExactForAny32BitCounts)
{
    const struct {
        uint32_t posted, total;
        int percentage;
    } cases[] = {
        {0, 1000, 0},           {999, 1000, 99},        {1000, 1000, 100},
        {43000000, 86000001, 49}, {43000000, 86000000, 50}, {0xFFFFFFFFu, 0xFFFFFFFFu, 100},
        {0xFFFFFFFEu, 0xFFFFFFFFu, 99}, {5, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UploadPercentage(c.posted, c.total), c.percentage) << c.posted << "/" << c.total;
}

class GetInfoCallTest : public UploadCallTest {};

TEST_F(GetInfoCallTest, PremiumValueIsReadFromTheReply)
{
    std::string error;
    auto config = devserver::ParseConfig("[account alice]\npassword = wonderland\npremium = 0\n"
                                         "[account bob]\npassword = builder\npremium = 1\n"
                                         "[account carol]\npassword = x\npremium = 2\n",
                                         quaylet::test::SandboxDir(), error);
    ASSERT_TRUE(config) << error;
    startServer(*config);
    const struct {
        const char* user;
        int premium;
    } cases[] = {{"alice", 0}, {"bob", 1}, {"carol", 2}};
    for (const auto& c : cases) {
        int premium = 77;
        EXPECT_EQ(HTTPMethodGetInfo(c.user, premium), 1) << c.user;
        EXPECT_EQ(premium, c.premium) << c.user;
        EXPECT_EQ(FetchPremiumFlag(c.user), c.premium) << c.user;
    }
    EXPECT_NE(log().find("HTTPMethodGetInfo: End: Return: 1 Premium: 2"), std::string::npos);
}

TEST_F(GetInfoCallTest, ReplyWithoutTheValueOrNoServiceLeavesThePremiumUnchanged)
{
    const std::string replyFile = SandboxPath("user.xml");
    WriteFile(replyFile, "<?xml version=\"1.0\"?><user><username>bob</username></user>");
    setFault("reply=" + replyFile + "@User.getInfo");
    int premium = 5;
    EXPECT_EQ(HTTPMethodGetInfo("bob", premium), -4);
    EXPECT_EQ(premium, 5);
    EXPECT_EQ(FetchPremiumFlag("bob"), 0);

    static constexpr char kGarbage[] = "\x01\xff not xml <<<\0 tail";
    WriteFile(replyFile, std::string(kGarbage, sizeof kGarbage - 1));
    setFault("reply=" + replyFile + "@User.getInfo");
    EXPECT_EQ(HTTPMethodGetInfo("bob", premium), -4);
    EXPECT_EQ(premium, 5);

    server.reset();
    EXPECT_EQ(HTTPMethodGetInfo("bob", premium), -4);
    EXPECT_EQ(premium, 5);
    EXPECT_NE(log().find("HTTPMethodGetInfo: End: Return: -4 Premium: 5"), std::string::npos);
}
