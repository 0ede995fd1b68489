// The headless uploader as a user runs it: a real process against the
// development service.

#include "devserver/devserverprocess.h"
#include "core/version.h"
#include "engine/enginetestsupport.h"
#include "support/processes.h"
#include "support/sandbox.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <algorithm>
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
    void startService(std::vector<std::string> extra = {}, const std::string& account = "")
    {
        const std::string config = test::SandboxPath("service.conf");
        test::WriteFile(config, "[account alice]\npassword = wonderland\n" + account);
        extra.insert(extra.begin(), {"--config", config});
        server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"), extra);
        ASSERT_TRUE(server->running());
        origin = server->origin();
    }

    // input: written to standard input, which is then closed; nothing: left open.
    QProcess* start(const std::vector<std::string>& args, const std::optional<std::string>& input,
                    const std::map<std::string, std::string>& extraEnv = {})
    {
        return startScript(test::ExecScript(QUAYLET_UPLOAD_PATH, args), input, extraEnv);
    }

    // A shell script run with the uploader's environment (for pipes and redirections).
    QProcess* startScript(const std::string& script, const std::optional<std::string>& input,
                          const std::map<std::string, std::string>& extraEnv = {})
    {
        process = std::make_unique<QProcess>();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(origin));
        for (const auto& [name, value] : extraEnv)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(script)});
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

// Reads the process's standard error, where progress goes (at most 20 s),
// until it holds what.
bool progressReaches(QProcess& p, const std::string& what, std::string& err)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!contains(err, what) && std::chrono::steady_clock::now() < end) {
        p.setReadChannel(QProcess::StandardError);
        p.waitForReadyRead(200);
        err += p.readAllStandardError().toStdString();
    }
    return contains(err, what);
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Uploads the development service stored for alice.
int storedUploads(const std::string& dataDir)
{
    std::error_code ec;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator(dataDir + "/alice", ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        ++count;
    return count;
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
    test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    test::MakePhoto(test::SandboxPath("work/album/b.png"), 320, 200, 2);
    const RunResult first = run({"--user", "alice", "a.jpg", "album"}, "wonderland\n");
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    // Standard output carries the results only, with files named as given.
    EXPECT_EQ(first.out, "a.jpg: uploaded\nalbum/b.png: uploaded\n\n2 of 2 files uploaded\n");
    // The progress goes to standard error; the count comes before the first
    // file's first line although the file was on its way before it was known.
    const auto err = linesOf(first.err);
    const auto queuedLine = std::find(err.begin(), err.end(), "2 files queued");
    const auto firstFileLine = std::find_if(err.begin(), err.end(), [](const std::string& l) { return l.starts_with("a.jpg: "); });
    EXPECT_TRUE(queuedLine < firstFileLine && firstFileLine != err.end()) << first.err;
    EXPECT_TRUE(contains(first.err, "Signed in as alice\n")) << first.err;
    EXPECT_TRUE(contains(test::ReadFile("Quaylet.log"), "HTTPMethodUpload: End")) << "the log is in the working directory";
    EXPECT_FALSE(contains(first.err, " -- ")) << "log lines are not mirrored to the terminal";

    const std::string c = test::MakePhoto(test::SandboxPath("work/c.jpg"), 640, 480, 3);
    const RunResult second = run({c});
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_TRUE(contains(second.err, "Signed in as alice"));
}

// A file the service already holds is skipped, as a copy skips an unchanged
// file: only a real failure fails the run. --quiet keeps the failures alone.
TEST_F(UploadCliTest, AFileTheServiceHoldsIsSkippedOnlyFailuresFailTheRun)
{
    startService({}, "photo_limit = 1\n");
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    std::filesystem::copy_file(a, test::SandboxPath("work/a-copy.jpg"));
    test::WriteFile(test::SandboxPath("work/notes.txt"), "not a photo");
    const RunResult r = run({"--user", "alice", "a.jpg", "a-copy.jpg", "notes.txt"}, "wonderland\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "a.jpg: uploaded\na-copy.jpg: skipped: the service already holds this file\n"
                     "\n1 of 2 files uploaded, 1 skipped\n");
    EXPECT_TRUE(contains(r.err, "quaylet-upload: skipped notes.txt: not a photo or video (.TXT)\n")) << r.err;

    test::MakePhoto(test::SandboxPath("work/b.jpg"), 640, 480, 2);
    const RunResult quiet = run({"--quiet", "a.jpg", "b.jpg"});
    EXPECT_EQ(quiet.exitCode, 1) << quiet.out << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "quaylet-upload: b.jpg: not uploaded: the account's photo limit is reached\n");
}

// Scripts get one JSON object per file, also for a path that queued nothing,
// and a name that is not UTF-8 still makes valid JSON.
TEST_F(UploadCliTest, JsonGivesOneObjectPerFile)
{
    startService();
    const std::string a = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
    std::filesystem::copy_file(a, test::SandboxPath("work/a-copy.jpg"));
    std::filesystem::rename(test::MakePhoto(test::SandboxPath("work/other.jpg"), 320, 200, 2),
                            test::SandboxPath("work/caf\xE9.jpg"));
    test::WriteFile(test::SandboxPath("work/notes.txt"), "not a photo");
    const RunResult r = run({"--user", "alice", "--json", "a.jpg", "a-copy.jpg", "caf\xE9.jpg", "notes.txt"}, "wonderland\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;

    std::map<std::string, QJsonObject> byPath;
    for (const std::string& line : linesOf(r.out)) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_TRUE(document.isObject()) << line << " " << error.errorString().toStdString();
        byPath[document.object().value(QStringLiteral("path")).toString().toStdString()] = document.object();
    }
    struct Expected {
        std::string path;
        std::string outcome;
        QJsonValue result;
        bool sent;
        std::string reason;
    } expected[] = {
        {"a.jpg", "uploaded", 1, true, ""},
        {"a-copy.jpg", "skipped", -3, true, "the service already holds this file"},
        {"caf\\xe9.jpg", "uploaded", 1, true, ""},
        {"notes.txt", "skipped", QJsonValue::Null, false, "not a photo or video (.TXT)"},
    };
    EXPECT_EQ(byPath.size(), std::size(expected)) << r.out;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        const QJsonObject o = byPath[e.path];
        EXPECT_EQ(o.value(QStringLiteral("outcome")).toString().toStdString(), e.outcome);
        EXPECT_EQ(o.value(QStringLiteral("result")), e.result);
        EXPECT_EQ(o.value(QStringLiteral("bytes_sent")).toDouble() > 0, e.sent);
        EXPECT_GE(o.value(QStringLiteral("seconds")).toDouble(), 0);
        EXPECT_EQ(o.value(QStringLiteral("reason")).toString().toStdString(), e.reason);
    }
    EXPECT_GT(byPath["a.jpg"].value(QStringLiteral("bytes_sent")).toDouble(), 0.0 + std::filesystem::file_size("a.jpg") / 2);
    // People still see the progress and the summary, on standard error.
    EXPECT_TRUE(contains(r.err, "2 of 3 files uploaded, 1 skipped")) << r.err;
}

// --limit-rate holds the upload to the rate (a loopback upload would take a
// tenth of a second), and the request's limits make room for the time that
// takes: the file arrives whole.
TEST_F(UploadCliTest, LimitRateHoldsTheUploadToTheRate)
{
    startService();
    test::MakeTurnedPhoto(test::SandboxPath("work/grain.jpg"), 800, 800, 1, true);
    constexpr double kRate = 64 * 1024;
    const RunResult r = run({"--user", "alice", "--json", "--limit-rate", "64K", "grain.jpg"}, "wonderland\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const QJsonObject outcome = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(outcome.value(QStringLiteral("outcome")).toString(), QStringLiteral("uploaded")) << r.out;
    const double bytes = outcome.value(QStringLiteral("bytes_sent")).toDouble();
    const double seconds = outcome.value(QStringLiteral("seconds")).toDouble();
    ASSERT_GT(bytes, kRate) << "too small a photo to see a rate in";
    // libcurl sends the first quarter second's worth at once.
    EXPECT_GT(seconds, (bytes - kRate / 4) / kRate * 0.9) << bytes << " bytes";
    EXPECT_LT(bytes / seconds, kRate * 1.1) << bytes << " bytes in " << seconds << " s";
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 1);
}

TEST_F(UploadCliTest, UsageErrorsAndNothingToUpload)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{}, "no files or folders to upload were given"},
        {{"--bogus", "x.jpg"}, "unknown option --bogus"},
        {{"--user"}, "--user needs a user name"},
        {{"--json=yes", "x.jpg"}, "--json takes no value"},
        {{"-x\x1B[2J", "x.jpg"}, "unknown option -x\\x1b[2J"},
        {{"--limit-rate", "1.5M", "x.jpg"},
         "--limit-rate needs a rate above zero in bytes per second, such as 500000, 250K or 2M"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        // One line, and where to look: not the whole help.
        EXPECT_EQ(r.err, "quaylet-upload: " + c.expected + "\nTry 'quaylet-upload --help' for more information.\n");
        EXPECT_EQ(r.out, "");
    }
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--user NAME", "--quiet", "--json", "--limit-rate RATE", "--version", "standard error",
                               "skipped"})
        EXPECT_TRUE(contains(help.out, option)) << option;
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, VersionLine("quaylet-upload"));
    EXPECT_FALSE(test::PathExists("Quaylet.log")) << "answered before the log opens";
    for (const char* option : {"--help", "--version"}) {
        startScript("'" QUAYLET_UPLOAD_PATH "' " + std::string(option) + " >/dev/full", "");
        const RunResult full = finish();
        EXPECT_EQ(full.exitCode, 1) << option;
        EXPECT_TRUE(contains(full.err, "cannot write to standard output: No space left on device")) << full.err;
    }

    startService();
    test::WriteFile(test::SandboxPath("work/empty/readme.txt"), "x");
    const RunResult nothing = run({"--user", "alice", test::SandboxPath("work/empty"), test::SandboxPath("work/missing.jpg")},
                            "wonderland\n");
    EXPECT_EQ(nothing.exitCode, 2) << nothing.out << nothing.err;
    EXPECT_TRUE(contains(nothing.err, "empty: no photos or videos in this folder")) << nothing.err;
    EXPECT_TRUE(contains(nothing.err, "missing.jpg: no such file or folder")) << nothing.err;
}

// When nobody reads the results any more (a pipe into `head -2`), the run
// stops instead of uploading on unseen, and says so.
TEST_F(UploadCliTest, AClosedStandardOutputStopsTheRun)
{
    startService({"--fault", "delay=300@Media.upload"});
    std::vector<std::string> names;
    for (int i = 1; i <= 6; ++i) {
        names.push_back("p" + std::to_string(i) + ".jpg");
        test::MakePhoto(test::SandboxPath("work/" + names.back()), 64, 64, i);
    }
    std::string command = "'" QUAYLET_UPLOAD_PATH "' --user alice";
    for (const auto& name : names)
        command += " " + name;
    startScript("{ " + command + "; echo $? >status; } | head -2", "wonderland\n");
    const RunResult r = finish();
    EXPECT_EQ(linesOf(r.out).size(), 2u) << r.out;
    EXPECT_EQ(test::ReadFile("status"), "1\n") << r.err;
    EXPECT_TRUE(contains(r.err, "cannot write to standard output: Broken pipe")) << r.err;
    EXPECT_TRUE(contains(r.err, "quaylet-upload: p6.jpg: not uploaded: not started")) << r.err;
    EXPECT_LT(storedUploads(test::SandboxPath("data")), 6);
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

// An interrupted run names every file it did not upload: the one under way
// and those that never started.
TEST_F(UploadCliTest, AnInterruptedRunListsEveryFileNotUploaded)
{
    startService({"--fault", "delay=20000@Media.upload"});
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        test::MakePhoto(test::SandboxPath(std::string("work/") + name), 64, 64, name[0]);
    QProcess* p = start({"--user", "alice", "a.jpg", "b.jpg", "c.jpg"}, "wonderland\n");
    std::string err;
    ASSERT_TRUE(progressReaches(*p, "Uploading", err)) << err;
    signalRun(*p, SIGTERM);
    const RunResult r = finish();
    EXPECT_EQ(r.exitCode, 143) << r.out << err << r.err;
    EXPECT_TRUE(contains(r.out, "\n0 of 3 files uploaded\n"
                                "  a.jpg: not uploaded: cancelled\n"
                                "  b.jpg: not uploaded: not started\n"
                                "  c.jpg: not uploaded: not started\n"))
        << r.out;
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
        ASSERT_TRUE(progressReaches(*process, "Uploading", out)) << out;
        EXPECT_TRUE(anyTempName(folder));
        out += ended("while uploading");
        EXPECT_TRUE(contains(out, "0 of 1 file uploaded")) << out;
        EXPECT_EQ(test::ReadFile(strange), bytes);
        EXPECT_FALSE(anyTempName(folder));
    }
}

// The process's state letter in /proc ('T' when the kernel stopped it).
char processState(const QProcess& p)
{
    const std::string stat = test::ReadFile("/proc/" + std::to_string(p.processId()) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
}

// Ctrl-Z (SIGTSTP) lets the file under way finish and holds the rest, with
// one line that says how to go on; SIGCONT goes on with one line. The
// signal is caught, so the kernel never stops the process.
TEST_F(UploadCliTest, SigtstpPausesAfterTheFileUnderWayAndSigcontGoesOn)
{
    startService({"--fault", "rate=20000@Media.upload"});
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        test::MakePhoto(test::SandboxPath(std::string("work/") + name), 160, 120, name[0]);
    QProcess* p = start({"--user", "alice", "a.jpg", "b.jpg", "c.jpg"}, "wonderland\n");
    std::string err;
    ASSERT_TRUE(progressReaches(*p, "a.jpg: Uploading", err)) << err;
    signalRun(*p, SIGTSTP);
    ASSERT_TRUE(progressReaches(*p, "Paused", err)) << err;
    EXPECT_TRUE(contains(err, "Paused; the next file waits for SIGCONT: kill -CONT " +
                                  std::to_string(p->processId())))
        << err;
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 1) << err;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 1) << "an upload went on while paused";
    EXPECT_NE(processState(*p), 'T');
    EXPECT_EQ(p->state(), QProcess::Running);

    signalRun(*p, SIGCONT);
    const RunResult r = finish();
    err += r.err;
    EXPECT_EQ(r.exitCode, 0) << err;
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 3);
    const auto lines = linesOf(err);
    const auto resumed = std::find(lines.begin(), lines.end(), "Resumed");
    EXPECT_NE(resumed, lines.end()) << err;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Paused"); }), 1)
        << err;
    EXPECT_TRUE(contains(r.out, "3 of 3 files uploaded")) << r.out;
}

// A Ctrl-Z that comes before there is anything to upload (here while the
// password is awaited) holds the first file.
TEST_F(UploadCliTest, APauseBeforeTheFirstFileHoldsIt)
{
    startService();
    test::MakePhoto(test::SandboxPath("work/a.jpg"), 64, 64, 1);
    QProcess* p = start({"--user", "alice", "a.jpg"}, std::nullopt);
    ASSERT_TRUE(logReaches(*p, "quaylet-upload("));
    signalRun(*p, SIGTSTP);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the signal is taken before the password
    p->write("wonderland\n");
    p->closeWriteChannel();
    std::string err;
    ASSERT_TRUE(progressReaches(*p, "Paused", err)) << err;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 0);

    signalRun(*p, SIGCONT);
    const RunResult r = finish();
    EXPECT_EQ(r.exitCode, 0) << err << r.err;
    EXPECT_EQ(storedUploads(test::SandboxPath("data")), 1);
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

    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "2 of 3 files uploaded, 1 skipped")) << r.out;
    EXPECT_TRUE(contains(r.out, "/line\\x0abreak\\x0d.jpg: uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, folder + "/caf\\xe9 \\x1b[2J.jpg: skipped: the service already holds this file\n"))
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
