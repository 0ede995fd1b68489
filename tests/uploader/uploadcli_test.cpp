// The headless uploader as a user runs it: a real process against the
// development service.

#include "devserver/devserverprocess.h"
#include "core/version.h"
#include "engine/enginetestsupport.h"
#include "support/processes.h"
#include "support/sandbox.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

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

    // input: written to standard input, which is then closed; nothing: left open.
    QProcess* start(const std::vector<std::string>& args, const std::optional<std::string>& input,
                    const std::map<std::string, std::string>& extraEnv = {})
    {
        process = std::make_unique<QProcess>();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(origin));
        for (const auto& [name, value] : extraEnv)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(test::ExecScript(QUAYLET_UPLOAD_PATH, args))});
        EXPECT_TRUE(process->waitForStarted(5000));
        if (input) {
            process->write(QByteArray::fromStdString(*input));
            process->closeWriteChannel();
        }
        return process.get();
    }

    RunResult finish()
    {
        EXPECT_TRUE(process->waitForFinished(120000));
        return {process->exitCode(), process->readAllStandardOutput().toStdString(),
                process->readAllStandardError().toStdString()};
    }

    RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                  const std::map<std::string, std::string>& extraEnv = {})
    {
        start(args, input, extraEnv);
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

// Waits (at most 20 s) until the uploader's log in the working directory
// holds what, meanwhile letting the process's input through.
bool logReaches(QProcess& p, const std::string& what)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        if (test::PathExists("Quaylet.log") && contains(test::ReadFile("Quaylet.log"), what))
            return true;
        p.waitForBytesWritten(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Reads the process's standard output (at most 20 s) until it holds what.
bool outputReaches(QProcess& p, const std::string& what, std::string& out)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!contains(out, what) && std::chrono::steady_clock::now() < end) {
        p.waitForReadyRead(200);
        out += p.readAllStandardOutput().toStdString();
    }
    return contains(out, what);
}

// Once the process has ended its id reads 0, and kill(0) would signal this
// test's whole process group (the test runner with it).
void signalRun(const QProcess& p, int signal)
{
    const auto pid = static_cast<pid_t>(p.processId());
    EXPECT_GT(pid, 0) << "the run ended before the signal";
    if (pid > 0)
        ::kill(pid, signal);
}

bool anyTempName(const std::string& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("TempFile_"))
            return true;
    }
    return false;
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
    EXPECT_TRUE(contains(help.out, "--version"));
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, VersionLine("quaylet-upload"));
    EXPECT_FALSE(test::PathExists("Quaylet.log")) << "answered before the log opens";

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
    signalRun(*p, SIGINT);
    const RunResult r = finish();
    EXPECT_EQ(r.exitCode, 130) << out << r.out << r.err;
    EXPECT_TRUE(contains(out + r.out, "0 of 1 file uploaded")) << out << r.out;
}

// Ctrl-C, a kill and a closed terminal end the run alike, wherever it is:
// waiting for the password, signing in, or uploading a file that waits
// under a temporary name, which gets its own name back.
TEST_F(UploadCliTest, EverySignalEndsTheRunPromptlyWhereverItIs)
{
    const std::string config = test::SandboxPath("service.conf");
    test::WriteFile(config, "[account alice]\npassword = wonderland\n");
    test::DevServerProcess slowSignIn(test::SandboxPath("data-login"),
                                      {"--config", config, "--fault", "delay=30000@User.login"});
    test::DevServerProcess slowUpload(test::SandboxPath("data-upload"),
                                      {"--config", config, "--fault", "delay=30000@Media.upload"});
    ASSERT_TRUE(slowSignIn.running() && slowUpload.running());
    const std::string folder = test::SandboxPath("work/pics");
    const std::string photo = test::MakePhoto(folder + "/plain.jpg", 64, 64, 1);
    const std::string strange = folder + "/\xFF\xFEphoto.jpg";
    std::filesystem::rename(photo, strange);
    const std::string bytes = test::ReadFile(strange);

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        const auto ended = [&](const char* stage) {
            signalRun(*process, signal);
            const auto sent = std::chrono::steady_clock::now();
            EXPECT_TRUE(process->waitForFinished(10000)) << stage;
            EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5)) << stage;
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            const std::string err = process->readAllStandardError().toStdString();
            EXPECT_EQ(process->exitStatus(), QProcess::NormalExit) << stage;
            EXPECT_EQ(process->exitCode(), 128 + signal) << stage << err;
            EXPECT_TRUE(contains(err, "interrupted")) << stage << err;
            return process->readAllStandardOutput().toStdString();
        };

        std::filesystem::remove("Quaylet.log");
        origin = slowSignIn.origin();
        start({"--user", "alice", strange}, std::nullopt); // no password ever comes
        ASSERT_TRUE(logReaches(*process, "quaylet-upload("));
        ended("at the password");

        std::filesystem::remove("Quaylet.log");
        start({"--user", "alice", strange}, "wonderland\n");
        ASSERT_TRUE(logReaches(*process, "HTTPMethodLogin: Type:"));
        ended("while signing in");

        origin = slowUpload.origin();
        start({"--user", "alice", strange}, "wonderland\n");
        std::string out;
        ASSERT_TRUE(outputReaches(*process, "Uploading", out)) << out;
        EXPECT_TRUE(anyTempName(folder));
        out += ended("while uploading");
        EXPECT_TRUE(contains(out, "0 of 1 file uploaded")) << out;
        EXPECT_EQ(test::ReadFile(strange), bytes);
        EXPECT_FALSE(anyTempName(folder));
    }
}

// Names are shown as the user gave them, never under the temporary name a
// file waits under, and no byte of a name can steer the terminal.
TEST_F(UploadCliTest, FileNamesAreShownAsTheUserGaveThemAndCannotSteerTheTerminal)
{
    startService();
    const std::string folder = test::SandboxPath("work/pics");
    const std::string first = test::MakePhoto(folder + "/a.jpg", 640, 480, 1);
    const std::string again = folder + "/caf\xE9 \x1B[2J.jpg"; // not UTF-8: waits under a temporary name
    std::filesystem::copy_file(first, again);
    const std::string broken = test::MakePhoto(folder + "/line\nbreak\r.jpg", 320, 200, 2);
    const std::string notes = folder + "/notes\x1B]0;title\x07.txt";
    test::WriteFile(notes, "not a photo");

    const RunResult r = run({"--user", "alice", first, again, broken, notes}, "wonderland\n");

    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "2 of 3 files uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, "/line\\x0abreak\\x0d.jpg: uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, "  " + folder + "/caf\\xe9 \\x1b[2J.jpg: not uploaded: the service already holds this file"))
        << r.out;
    EXPECT_TRUE(contains(r.err, "notes\\x1b]0;title\\x07.txt: not a photo or video (.TXT)")) << r.err;
    for (const std::string& text : {r.out, r.err}) {
        EXPECT_FALSE(contains(text, "TempFile_")) << text;
        EXPECT_EQ(text.find_first_of("\x1B\x07\r\xFF\xE9"), std::string::npos) << text;
        EXPECT_FALSE(contains(text, "line\n")) << text;
    }
    EXPECT_TRUE(test::PathExists(again));
}

// Inside a dropped folder names are bytes too: what is not UTF-8 is uploaded
// exactly as when named directly, and keeps its name.
TEST_F(UploadCliTest, NamesThatAreNotUtf8InsideAFolderAreUploaded)
{
    startService();
    const std::string folder = test::SandboxPath("work/latin1");
    // Made under UTF-8 names, then given their Latin-1 ones byte for byte.
    const std::string cafe = folder + "/caf\xE9.jpg";
    const std::string summer = folder + "/\xE9t\xE9";
    const std::string inner = summer + "/plage.jpg";
    std::filesystem::rename(test::MakePhoto(folder + "/cafe.jpg", 640, 480, 1), cafe);
    test::MakePhoto(folder + "/ete/plage.jpg", 320, 200, 2);
    std::filesystem::rename(folder + "/ete", summer);

    const RunResult r = run({"--user", "alice", folder}, "wonderland\n");

    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "2 of 2 files uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, folder + "/caf\\xe9.jpg: uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, folder + "/\\xe9t\\xe9/plage.jpg: uploaded")) << r.out;
    EXPECT_TRUE(test::PathExists(cafe));
    EXPECT_TRUE(test::PathExists(inner));
    EXPECT_FALSE(anyTempName(folder));
}

// A name that is not UTF-8 is skipped when it cannot wait under a temporary
// name; the reason given is the real one.
TEST_F(UploadCliTest, ANameThatCannotBeRenamedGivesTheRealReason)
{
    startService();
    const std::string inBadFolder = test::SandboxPath("work/\xFE" "dir/photo\xFF.jpg");
    test::MakePhoto(test::SandboxPath("work/plain/photo.jpg"), 64, 64, 1);
    std::filesystem::create_directories(test::SandboxPath("work/\xFE" "dir"));
    std::filesystem::rename(test::SandboxPath("work/plain/photo.jpg"), inBadFolder);
    const std::string strange = test::SandboxPath("work/plain/photo\xFF.jpg");
    std::filesystem::rename(test::MakePhoto(test::SandboxPath("work/plain/other.jpg"), 64, 64, 2), strange);

    const RunResult badFolder = run({"--user", "alice", inBadFolder}, "wonderland\n");
    EXPECT_EQ(badFolder.exitCode, 2) << badFolder.err;
    EXPECT_TRUE(contains(badFolder.err, "dir/photo\\xff.jpg: the name of a folder above it is not valid UTF-8"))
        << badFolder.err;

    test::WriteFile(test::SandboxPath("not-a-folder"), "x");
    const RunResult noJournal =
        run({"--user", "alice", strange}, "wonderland\n", {{"XDG_STATE_HOME", test::SandboxPath("not-a-folder")}});
    EXPECT_EQ(noJournal.exitCode, 2) << noJournal.err;
    EXPECT_TRUE(contains(noJournal.err, "photo\\xff.jpg: its name is not valid UTF-8, and the journal"))
        << noJournal.err;
    EXPECT_TRUE(test::PathExists(strange));
}

TEST_F(UploadCliTest, StartedInTheHomeDirectoryItLogsToTheStateFolder)
{
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 64, 64);
    const RunResult r = run({a}, "", {{"HOME", std::filesystem::current_path().string()}});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(contains(test::ReadFile(test::SandboxPath("state/quaylet/Quaylet.log")), "quaylet-upload("));
    EXPECT_FALSE(test::PathExists("Quaylet.log"));
}

TEST_F(UploadCliTest, SignInOnlyStoresTheCredentialsAndUploadsNothing)
{
    startService();
    const RunResult wrong = run({"--user", "alice", "--sign-in-only"}, "wrong\n");
    EXPECT_EQ(wrong.exitCode, 3) << wrong.err;
    const RunResult first = run({"--user", "alice", "--sign-in-only"}, "wonderland\n");
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_TRUE(contains(first.out, "Signed in as alice"));
    EXPECT_FALSE(contains(first.out, "queued"));
    const RunResult stored = run({"--sign-in-only"});
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_TRUE(contains(stored.out, "Signed in as alice"));
    EXPECT_FALSE(test::PathExists(test::SandboxPath("data/alice"))) << "nothing was uploaded";
}
