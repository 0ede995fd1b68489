// The headless uploader as a user runs it: a real process against the
// development service.

#include "devserver/devserverprocess.h"
#include "engine/enginetestsupport.h"
#include "support/sandbox.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace quaylet;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class UploadCliTest : public ::testing::Test {
protected:
    void startService(std::vector<std::string> extra = {})
    {
        const std::string config = test::SandboxPath("service.conf");
        test::WriteFile(config, "[account alice]\npassword = wonderland\n");
        extra.insert(extra.begin(), {"--config", config});
        server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"), extra);
        ASSERT_TRUE(server->running());
        origin = server->origin();
    }

    QProcess* start(const std::vector<std::string>& args, const std::string& input)
    {
        process = std::make_unique<QProcess>();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(origin));
        process->setProcessEnvironment(env);
        QStringList list;
        for (const auto& a : args)
            list << QString::fromStdString(a);
        process->start(QStringLiteral(QUAYLET_UPLOAD_PATH), list);
        EXPECT_TRUE(process->waitForStarted(5000));
        process->write(QByteArray::fromStdString(input));
        process->closeWriteChannel();
        return process.get();
    }

    RunResult finish()
    {
        EXPECT_TRUE(process->waitForFinished(120000));
        return {process->exitCode(), process->readAllStandardOutput().toStdString(),
                process->readAllStandardError().toStdString()};
    }

    RunResult run(const std::vector<std::string>& args, const std::string& input = "")
    {
        start(args, input);
        return finish();
    }

    std::unique_ptr<test::DevServerProcess> server;
    std::unique_ptr<QProcess> process;
    std::string origin = "http://127.0.0.1:9";
};

bool contains(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

} // namespace

TEST_F(UploadCliTest, UploadsEverythingThenSignsInWithTheStoredCredentials)
{
    startService();
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    test::MakePhoto(test::SandboxPath("work/album/b.png"), 320, 200, 2);
    const RunResult first = run({"--user", "alice", a, test::SandboxPath("work/album")}, "wonderland\n");
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_TRUE(contains(first.out, "2 of 2 files uploaded")) << first.out;
    EXPECT_TRUE(contains(first.out, "a.jpg: uploaded"));
    EXPECT_TRUE(contains(test::ReadFile("Quaylet.log"), "HTTPMethodUpload: End")) << "the log is in the working directory";
    EXPECT_FALSE(contains(first.err, " -- ")) << "log lines are not mirrored to the terminal";

    const std::string c = test::MakePhoto(test::SandboxPath("work/c.jpg"), 640, 480, 3);
    const RunResult second = run({c});
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_TRUE(contains(second.out, "Signed in as alice"));
}

TEST_F(UploadCliTest, PartialFailureNamesEachFileAndItsReason)
{
    startService();
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    std::filesystem::copy_file(a, test::SandboxPath("work/a-copy.jpg"));
    test::WriteFile(test::SandboxPath("work/notes.txt"), "not a photo");
    const RunResult r = run({"--user", "alice", a, test::SandboxPath("work/a-copy.jpg"), test::SandboxPath("work/notes.txt")},
                      "wonderland\n");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "1 of 2 files uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, "a-copy.jpg: not uploaded: the service already holds this file")) << r.out;
    EXPECT_TRUE(contains(r.err, "notes.txt: not a photo or video (.TXT)")) << r.err;
}

TEST_F(UploadCliTest, UsageErrorsAndNothingToUpload)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{}, "Usage: quaylet-upload"},
        {{"--bogus", "x.jpg"}, "unknown option --bogus"},
        {{"--user"}, "--user needs a user name"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(contains(r.err, c.expected)) << r.err;
    }
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "--user NAME"));

    startService();
    test::WriteFile(test::SandboxPath("work/empty/readme.txt"), "x");
    const RunResult nothing = run({"--user", "alice", test::SandboxPath("work/empty"), test::SandboxPath("work/missing.jpg")},
                            "wonderland\n");
    EXPECT_EQ(nothing.exitCode, 2) << nothing.out << nothing.err;
    EXPECT_TRUE(contains(nothing.err, "empty: no photos or videos in this folder")) << nothing.err;
    EXPECT_TRUE(contains(nothing.err, "missing.jpg: no such file or folder")) << nothing.err;
}

TEST_F(UploadCliTest, SignInFailures)
{
    startService();
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 64, 64);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string expected;
    } cases[] = {
        {{"--user", "alice", a}, "wrong\n", "refused the sign-in: Invalid username or password"},
        {{a}, "", "no stored credentials"},
        {{"--user", "alice", a}, std::string(31, 'p') + "\n", "1 to 30 characters"},
        {{"--user", "alice", a}, "", "no password was given"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args, c.input);
        EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
        EXPECT_TRUE(contains(r.err, c.expected)) << r.err;
    }
    server->terminate();
    const RunResult offline = run({"--user", "alice", a}, "wonderland\n");
    EXPECT_EQ(offline.exitCode, 3);
    EXPECT_TRUE(contains(offline.err, "cannot be reached")) << offline.err;
}

TEST_F(UploadCliTest, InterruptCancelsCleanly)
{
    startService({"--fault", "delay=20000@Media.upload"});
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    QProcess* p = start({"--user", "alice", a}, "wonderland\n");
    ASSERT_TRUE(p->waitForReadyRead(10000));
    // Wait until the upload is under way, then press Ctrl-C.
    std::string out;
    while (!contains(out, "Uploading") && p->waitForReadyRead(10000))
        out += p->readAllStandardOutput().toStdString();
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    const RunResult r = finish();
    EXPECT_EQ(r.exitCode, 130) << out << r.out << r.err;
    EXPECT_TRUE(contains(out + r.out, "0 of 1 file uploaded")) << out << r.out;
}
