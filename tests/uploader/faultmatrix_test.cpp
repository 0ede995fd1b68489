// quaylet-upload against faults of the service, of the dropped files and of
// the encoders: every case is a real process against the development service,
// and every case checks the same four things besides its outcome: the run
// ends within a bound, the user's files keep their bytes and names, the log
// says what happened, and the temp folder is empty once the process is gone.

#include "devserver/devserverprocess.h"
#include "engine/enginetestsupport.h"
#include "support/processes.h"
#include "support/sandbox.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

using namespace quaylet;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

// What the user gave: each file's bytes under its own name.
std::map<std::string, std::string> snapshot(const std::vector<std::string>& files)
{
    std::map<std::string, std::string> bytes;
    for (const std::string& file : files)
        bytes[file] = test::ReadFile(file);
    return bytes;
}

// A small tmpfs mounted for the life of the object, where the machine allows
// it (root, as in CI); mounted() says whether it is.
class SmallTmpfs final {
public:
    SmallTmpfs(const std::string& dir, const std::string& size) : m_dir(dir)
    {
        fs::create_directories(dir);
        const std::string options = "size=" + size + ",mode=0777";
        m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    bool mounted() const { return m_mounted; }

private:
    std::string m_dir;
    bool m_mounted = false;
};

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::chrono::steady_clock::duration took{};
};

class FaultMatrixTest : public ::testing::Test {
protected:
    // A case's own folders: its working directory (where the log goes), its
    // home, configuration, state and temp folder, and the service's data.
    void useFolder(const std::string& name)
    {
        root = test::SandboxPath("cases/" + name);
        for (const char* sub : {"/work", "/home", "/config", "/state", "/tmp", "/in"})
            fs::create_directories(root + sub);
    }

    void startService(std::vector<std::string> faults)
    {
        const std::string config = root + "/service.conf";
        test::WriteFile(config, "[account alice]\npassword = wonderland\n");
        std::vector<std::string> args{"--config", config};
        for (const std::string& fault : faults)
            args.insert(args.end(), {"--fault", fault});
        server = std::make_unique<test::DevServerProcess>(root + "/data", args);
        ASSERT_TRUE(server->running()) << server->errorOutput();
    }

    // Starts quaylet-upload as alice with the paths; the password goes in on
    // standard input. asNobody: dropped from root to nobody first.
    void start(const std::vector<std::string>& paths, bool asNobody = false)
    {
        std::vector<std::string> args{"--user", "alice"};
        args.insert(args.end(), paths.begin(), paths.end());
        std::string program = QUAYLET_UPLOAD_PATH;
        if (asNobody && ::getuid() == 0) {
            fs::permissions(test::SandboxDir(), fs::perms::all, fs::perm_options::add);
            ASSERT_EQ(std::system(("chown -R nobody:nogroup '" + root + "'").c_str()), 0);
            args.insert(args.begin(), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", program});
            program = "/usr/bin/setpriv";
        }
        process = std::make_unique<QProcess>();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(server->origin()));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(root + "/home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(root + "/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), QString::fromStdString(root + "/state"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(root + "/tmp"));
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QString::fromStdString(root + "/work"));
        started = std::chrono::steady_clock::now();
        process->start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QString::fromStdString(test::ExecScript(program, args))});
        ASSERT_TRUE(process->waitForStarted(5000));
        process->write("wonderland\n");
        process->closeWriteChannel();
    }

    // Reads standard output (the outcomes) and standard error (the progress)
    // until one of them holds what (at most 20 s).
    bool outputReaches(const std::string& what)
    {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!contains(output, what) && !contains(progress, what) && std::chrono::steady_clock::now() < end) {
            // The wait wakes for progress (the read channel); short, so that
            // outcomes on standard output are read soon too.
            process->setReadChannel(QProcess::StandardError);
            process->waitForReadyRead(5);
            output += process->readAllStandardOutput().toStdString();
            progress += process->readAllStandardError().toStdString();
        }
        return contains(output, what) || contains(progress, what);
    }

    // Waits for the end (killing the process after the bound) and collects
    // what it wrote.
    Finished finish(std::chrono::seconds bound = 60s)
    {
        Finished f;
        if (!process->waitForFinished(static_cast<int>(std::chrono::milliseconds(bound).count()))) {
            ADD_FAILURE() << "still running after " << bound.count() << " s";
            process->kill();
            process->waitForFinished(5000);
        }
        f.took = std::chrono::steady_clock::now() - started;
        f.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        f.out = output + process->readAllStandardOutput().toStdString();
        f.err = progress + process->readAllStandardError().toStdString();
        output.clear();
        progress.clear();
        return f;
    }

    std::string log() const
    {
        const std::string here = root + "/work/Quaylet.log";
        return test::ReadFile(test::PathExists(here) ? here : root + "/state/quaylet/Quaylet.log");
    }

    // What the process left in its temp folder: anything but the empty
    // per-user folder under which each process makes its own.
    std::vector<std::string> leftInTemp() const
    {
        std::vector<std::string> left;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(root + "/tmp", ec)) {
            if (!(entry.is_directory() && entry.path().parent_path() == fs::path(root + "/tmp") &&
                  entry.path().filename().string().starts_with("quaylet-")))
                left.push_back(entry.path().string());
        }
        return left;
    }

    // The media files the service holds for alice.
    int stored() const
    {
        int n = 0;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(root + "/data/alice", ec))
            n += entry.is_regular_file() && entry.path().filename().string().starts_with("media");
        return n;
    }

    // The checks every case shares.
    void expectNothingLost(const std::map<std::string, std::string>& before)
    {
        for (const auto& [path, bytes] : before) {
            ASSERT_TRUE(test::PathExists(path)) << path << " is back under its own name";
            EXPECT_EQ(test::ReadFile(path), bytes) << path << " is unchanged";
        }
        for (const auto& entry : fs::directory_iterator(root + "/in"))
            EXPECT_FALSE(entry.path().filename().string().starts_with("TempFile_")) << entry.path();
        EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
    }

    std::string root;
    std::unique_ptr<test::DevServerProcess> server;
    std::unique_ptr<QProcess> process;
    std::string output;   // standard output read so far
    std::string progress; // standard error read so far
    std::chrono::steady_clock::time_point started;
};

std::string ReplyOverOneMiB()
{
    // A well-formed success in every respect but its size.
    std::string reply = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rsp stat=\"ok\">\n";
    while (reply.size() <= 1024 * 1024 + 4096)
        reply += "<pad>" + std::string(100, 'x') + "</pad>\n";
    return reply + "</rsp>\n";
}

constexpr const char* kErrorPage = "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n"
                                   "<body><h1>Bad Gateway</h1><p>The upstream server is down.<br></body></html>\n";

constexpr const char* kNotSent = "not uploaded: it could not be sent (network or file error)";
constexpr const char* kNotUnderstood = "not uploaded: the service refused it or its reply was not understood";

} // namespace

// The service misbehaves while one photo is sent. Replies the client cannot
// use are not sent again (the service may have stored the file); failures
// on the way there are tried three times in all.
TEST_F(FaultMatrixTest, ServiceFaultsDuringAnUpload)
{
    struct Case {
        const char* name;
        std::vector<std::string> faults; // "@FILE" in a fault stands for the case's reply file
        std::string replyFile;
        int exitCode;
        std::string outcome;
        std::string logLine;
        std::string serviceLine; // in the service's request log, once per attempt
        int attempts;
        int stored;
    } cases[] = {
        {"dropped mid-body", {"drop=20000@Media.upload"}, "", 1, kNotSent, "HTTPMethodUpload: Exception :",
         "connection dropped after", 3, 0},
        {"garbage", {"garbage@Media.upload"}, "", 1, kNotUnderstood, "ProcessXMLResponse: Document FAILED to load",
         "garbage reply", 1, 0},
        {"html error page", {"reply=@FILE@Media.upload"}, kErrorPage, 1, kNotUnderstood,
         "HTTPMethodUpload: Response: <!DOCTYPE html>", "Media.upload user=alice -> 200", 1, 1},
        {"reply over 1 MiB", {"reply=@FILE@Media.upload"}, ReplyOverOneMiB(), 1, kNotUnderstood,
         "HTTPMethodUpload: the reply is larger than 1048576 bytes", "Media.upload user=alice -> 200", 1, 1},
        {"status 500", {"status=500@Media.upload"}, "", 1, kNotUnderstood,
         "HTTPMethodUpload: Response: 500 server failure", "Media.upload: status 500", 1, 0},
        // The account call before each file only decides the size of the
        // copy: when it fails the photo still goes.
        {"account call dropped", {"drop=0@User.getInfo"}, "", 0, "uploaded", "HTTPMethodGetInfo: End: Return: -",
         "Media.upload user=alice -> 200", 1, 1},
        {"account call garbage", {"garbage@User.getInfo"}, "", 0, "uploaded", "HTTPMethodGetInfo: End: Return: -",
         "Media.upload user=alice -> 200", 1, 1},
        {"redirect to a file: address", {"redirect=file://@FILE@Media.upload"}, "SECRET-OF-THE-MACHINE\n", 1,
         kNotUnderstood, "ProcessXMLResponse: Document FAILED to load", "Media.upload: redirected to file://", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useFolder("service-" + std::to_string(&c - cases));
        std::vector<std::string> faults;
        for (std::string fault : c.faults) {
            if (const auto at = fault.find("@FILE"); at != std::string::npos) {
                test::WriteFile(root + "/reply", c.replyFile);
                fault.replace(at, 5, root + "/reply");
            }
            faults.push_back(fault);
        }
        startService(faults);
        const std::string photo = test::MakePhoto(root + "/in/photo.jpg", 640, 480, 1);
        const auto before = snapshot({photo});

        start({photo});
        const Finished r = finish();

        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        EXPECT_TRUE(contains(r.out, "photo.jpg: " + c.outcome)) << r.out;
        EXPECT_LT(r.took, 20s) << "no time-out is involved";
        const std::string log = this->log();
        EXPECT_TRUE(contains(log, c.logLine)) << log;
        EXPECT_FALSE(contains(log, "SECRET-OF-THE-MACHINE")) << "a redirect is never followed";
        EXPECT_EQ(test::CountOf(server->errorOutput(), c.serviceLine), c.attempts) << server->errorOutput();
        EXPECT_EQ(stored(), c.stored);
        expectNothingLost(before);
    }
}

// The second of two dropped photos changes while the first is being sent.
// A file that is gone or cannot be read fails on this side; a shortened one
// is sent as it now is. Unreadable files are tried as nobody: root reads
// every file.
TEST_F(FaultMatrixTest, ADroppedFileChangesBeforeItsTurn)
{
    struct Case {
        const char* name;
        std::function<void(const std::string&)> change;
        bool asNobody;
        int exitCode;
        std::string outcome;
        std::string logLine;
        int stored;
    } cases[] = {
        {"deleted", [](const std::string& f) { fs::remove(f); }, false, 1, kNotSent, "HTTPMethodUpload: Exception :",
         1},
        {"truncated", [](const std::string& f) { fs::resize_file(f, 3000); }, false, 0, "uploaded",
         "HTTPMethodUpload: End", 2},
        {"unreadable", [](const std::string& f) { fs::permissions(f, fs::perms::none); }, true, 1, kNotSent,
         "HTTPMethodUpload: Exception :", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useFolder(std::string("changed-") + c.name);
        startService({"delay=1500@Media.upload"});
        const std::string first = test::MakePhoto(root + "/in/first.jpg", 640, 480, 1);
        const std::string second = test::MakePhoto(root + "/in/second.jpg", 640, 480, 2);

        start({first, second}, c.asNobody);
        ASSERT_TRUE(outputReaches("first.jpg: Uploading")) << output << progress;
        c.change(second);
        const auto before = snapshot(fs::exists(second) ? std::vector{first, second} : std::vector{first});
        const Finished r = finish();

        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        EXPECT_TRUE(contains(r.out, "first.jpg: uploaded")) << r.out;
        EXPECT_TRUE(contains(r.out, "second.jpg: " + c.outcome)) << r.out;
        EXPECT_LT(r.took, 30s);
        EXPECT_TRUE(contains(log(), c.logLine)) << log();
        EXPECT_EQ(stored(), c.stored);
        expectNothingLost(before);
        if (fs::exists(second)) {
            EXPECT_EQ(fs::status(second).permissions() == fs::perms::none, c.asNobody) << "modes are left alone";
        }
    }
}

// Where a photo's upright or scaled copy does not fit in the temp folder, the
// photo goes as it is, and no piece of a copy stays behind.
TEST_F(FaultMatrixTest, FullTempFolderSendsThePhotoAsItIs)
{
    useFolder("full-temp");
    const SmallTmpfs tmpfs(root + "/tmp", "24k");
    if (!tmpfs.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): the full temp folder is not tried";
    startService({});
    const std::string photo = test::MakePhoto(root + "/in/big.jpg", 2400, 1800, 7);
    const std::string turned = test::MakeTurnedPhoto(root + "/in/turned.jpg", 4000, 3000, 6);
    const auto before = snapshot({photo, turned});

    start({photo, turned});
    const Finished r = finish();

    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "big.jpg: uploaded")) << r.out;
    EXPECT_TRUE(contains(r.out, "turned.jpg: uploaded")) << r.out;
    EXPECT_LT(r.took, 30s);
    EXPECT_TRUE(contains(log(), "MakeUploadImage: cannot prepare " + photo + ": cannot write ")) << log();
    EXPECT_TRUE(contains(log(), "RotateToUpright: no upright copy of " + turned + ": JPEG turn: cannot write "))
        << log();
    ASSERT_EQ(stored(), 2);
    int whole = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root + "/data/alice"))
        if (entry.path().filename().string().starts_with("media"))
            whole += test::ReadFile(entry.path().string()) == before.at(photo);
    EXPECT_EQ(whole, 1) << "the photo itself, whole";
    expectNothingLost(before);
}

bool encoderRunning()
{
    return std::system("pgrep -x -f 'sleep 613' >/dev/null") == 0;
}

// An encoder that crashes leaves no converted file: the video goes as it was
// dropped. One that hangs is waited for (conversion has no time limit), and an
// interrupt ends the run within the bound, the encoder with it.
TEST_F(FaultMatrixTest, EncoderThatCrashesOrHangs)
{
    struct Case {
        const char* name;
        const char* encoder; // found in the working directory before PATH
        bool hangs;
    } cases[] = {
        {"crashes", "#!/bin/sh\nkill -SEGV $$\n", false},
        {"hangs", "#!/bin/sh\nexec sleep 613\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useFolder(std::string("encoder-") + c.name);
        test::WriteFile(root + "/work/mencoder", c.encoder);
        fs::permissions(root + "/work/mencoder", fs::perms::owner_all);
        startService({});
        const std::string clip = test::MakeClip(root + "/in/clip.mp4", 1);
        const auto before = snapshot({clip});

        start({clip});
        if (c.hangs) {
            ASSERT_TRUE(outputReaches("clip.mp4: Encoding")) << output << progress;
            const auto end = std::chrono::steady_clock::now() + 20s;
            while (!encoderRunning() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(20ms);
            ASSERT_TRUE(encoderRunning());
            ::kill(static_cast<pid_t>(process->processId()), SIGINT);
            const auto sent = std::chrono::steady_clock::now();
            const Finished r = finish(20s);
            EXPECT_LT(std::chrono::steady_clock::now() - sent, 5s);
            EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
            EXPECT_TRUE(contains(r.out, "clip.mp4: not uploaded: cancelled")) << r.out;
            EXPECT_EQ(stored(), 0);
        } else {
            const Finished r = finish();
            EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
            EXPECT_TRUE(contains(r.out, "clip.mp4: uploaded")) << r.out;
            ASSERT_EQ(stored(), 1);
        }
        EXPECT_TRUE(contains(log(), "Command Line: ")) << log();
        EXPECT_FALSE(encoderRunning()) << "no encoder is left running";
        expectNothingLost(before);
    }
}

// The uploader is killed outright while a file of a dropped folder is being
// sent, the folder waiting under a temporary name (its own is not UTF-8):
// nothing can put the name back then. The next start does, from the rename
// journal, and sweeps the temp folder the killed run left, even when that
// start gets no further than a failed sign-in (the service is still away).
TEST_F(FaultMatrixTest, KilledMidUploadTheNextStartRestoresTheNames)
{
    useFolder("killed");
    startService({"delay=30000@Media.upload"});
    const std::string folder = root + "/in/caf\xE9 album";
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "/p" + std::to_string(i) + ".jpg";
        test::MakePhoto(root + "/in/album" + name, 320, 240, i);
        files.push_back(folder + name);
    }
    fs::rename(root + "/in/album", folder);
    const auto before = snapshot(files);

    start({folder});
    ASSERT_TRUE(outputReaches("Uploading")) << output << progress;
    ASSERT_FALSE(fs::exists(folder)) << "the folder waits under a temporary name";
    ::kill(static_cast<pid_t>(process->processId()), SIGKILL);
    finish(10s);
    ASSERT_FALSE(fs::exists(folder));
    server->terminate();

    const std::string other = test::MakePhoto(root + "/in/other.jpg", 64, 64, 9);
    start({other});
    const Finished r = finish();
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    expectNothingLost(before);
}

// The service goes away while the first of two photos is sent and comes back
// a little later on the same address: the first fails on this side after
// its attempts, the second waits for the service, saying so, and goes.
TEST_F(FaultMatrixTest, ServiceOfflineThenOnline)
{
    useFolder("offline");
    startService({"delay=3000@Media.upload"});
    const int port = server->port();
    const std::string first = test::MakePhoto(root + "/in/first.jpg", 640, 480, 1);
    const std::string second = test::MakePhoto(root + "/in/second.jpg", 640, 480, 2);
    const auto before = snapshot({first, second});

    start({first, second});
    ASSERT_TRUE(outputReaches("first.jpg: Uploading")) << output << progress;
    server->terminate();
    ASSERT_TRUE(outputReaches("first.jpg: " + std::string(kNotSent))) << output << progress;
    ASSERT_TRUE(outputReaches("Trying...")) << output << progress;

    const std::string config = root + "/service.conf";
    server = std::make_unique<test::DevServerProcess>(
        root + "/data", std::vector<std::string>{"--config", config, "--port", std::to_string(port)});
    ASSERT_TRUE(server->running());
    const Finished r = finish();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "second.jpg: uploaded")) << r.out;
    EXPECT_GE(test::CountOf(log(), "Checking internet connection"), 3) << "checked again until the service was back";
    EXPECT_EQ(stored(), 1);
    expectNothingLost(before);
}
