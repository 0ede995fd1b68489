// The transfer engine end to end: real photos and videos, the real encoders and
// the development service over loopback.

#include "engine/enginetestsupport.h"

#include "core/logfile.h"
#include "core/settings.h"
#include "credentials/profile.h"
#include "devserver/devserverprocess.h"
#include "platform/tempdir.h"
#include "support/processes.h"
#include "support/sandbox.h"

#include <QColor>
#include <QImage>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace quaylet;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const char* kAccounts = "[account alice]\npassword = wonderland\n"
                        "[account bob]\npassword = builder\npremium = 1\n"
                        "[account carol]\npassword = c\nphoto_limit = 1\nvideo_limit = 0\n"
                        "[toast]\ntitle = NEW UPLOAD from a friend\npoll = 30\n";

class TransferEngineTest : public ::testing::Test {
protected:
    // Starts the service (with extra options) and signs the process in as user.
    void startService(const std::string& user, const std::string& password, std::vector<std::string> extra = {})
    {
        const std::string config = test::SandboxPath("service.conf");
        test::WriteFile(config, kAccounts);
        extra.insert(extra.begin(), {"--config", config});
        server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"), extra);
        ASSERT_TRUE(server->running());
        test::UseService(server->origin());
        CurrentProfile() = CProfile(user, password);
    }

    void startEngine(bool poll = false)
    {
        SetLogMirror(std::getenv("QUAYLET_TEST_LOG") != nullptr);
        OpenLog("Quaylet.log"); // kept in the sandbox: shows what the engine did when a test fails
        TransferEngineOptions options;
        options.pollNotifications = poll;
        options.renameJournalDirectory = test::SandboxPath("journal");
        options.uptimeMs = [] { return uint64_t{0}; };
        engine = std::make_unique<TransferEngine>(view, std::move(options));
        test::RecordOutcomes(*engine, view);
        engine->start();
    }

    std::vector<std::string> storedMedia(const std::string& user) const
    {
        std::vector<std::string> files;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(test::SandboxPath("data/" + user), ec))
            if (entry.is_regular_file() && entry.path().filename().string().rfind("media", 0) == 0)
                files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    std::vector<int> results()
    {
        std::lock_guard lock(view.mutex);
        std::vector<int> r;
        for (const auto& o : view.outcomes)
            r.push_back(o.second);
        return r;
    }

    test::RecordingView view;
    std::unique_ptr<test::DevServerProcess> server;
    std::unique_ptr<TransferEngine> engine; // after the view: stopped first
};

} // namespace

TEST_F(TransferEngineTest, ThreePhotosUploadThenTheSuccessPathRunsOnce)
{
    startService("alice", "wonderland");
    startEngine();
    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i)
        photos.push_back(test::MakePhoto(test::SandboxPath("in/p" + std::to_string(i) + ".jpg"), 1600, 1200, i));

    ASSERT_TRUE(test::RunBatch(*engine, view, photos, 3));
    EXPECT_EQ(results(), (std::vector<int>{1, 1, 1}));
    std::lock_guard lock(view.mutex);
    std::vector<int> working;
    for (int s : view.states)
        if (s != kStateReady)
            working.push_back(s);
    EXPECT_EQ(working, (std::vector<int>{1, 3, 4, 1, 3, 4, 1, 3, 4}));
    EXPECT_EQ(view.states.back(), kStateReady);
    EXPECT_EQ(view.completedDialogs, 1) << "the success path runs once, after the last file";
    ASSERT_FALSE(view.balloons.empty());
    EXPECT_EQ(view.balloons.back().title, "Upload Successful!");
    EXPECT_NE(std::find(view.counts.begin(), view.counts.end(), " 1 of 3"), view.counts.end());
    ASSERT_FALSE(view.statusTexts.empty());
    EXPECT_EQ(view.statusTexts.back(), "Uploading: 100%") << "the final percentage is never dropped by the limiter";
    EXPECT_EQ(view.progress.back(), 100);

    const auto stored = storedMedia("alice");
    ASSERT_EQ(stored.size(), 3u);
    const QImage first(QString::fromStdString(stored[0]));
    EXPECT_EQ(first.width(), 800) << "a free account's photos fit into 800 x 800";
    EXPECT_EQ(test::CountOf(server->errorOutput(), "User.getInfo user=alice"), 3) << "asked before every file";
}

TEST_F(TransferEngineTest, PremiumAccountGetsTheLargeBoxAndIsAskedOnce)
{
    startService("bob", "builder");
    startEngine();
    const std::vector<std::string> photos = {test::MakePhoto(test::SandboxPath("in/a.jpg"), 3000, 2000, 1),
                                             test::MakePhoto(test::SandboxPath("in/b.jpg"), 3000, 2000, 2)};
    ASSERT_TRUE(test::RunBatch(*engine, view, photos, 2));
    EXPECT_EQ(results(), (std::vector<int>{1, 1}));
    const auto stored = storedMedia("bob");
    ASSERT_EQ(stored.size(), 2u);
    const QImage image(QString::fromStdString(stored[0]));
    EXPECT_EQ(image.width(), 1500);
    EXPECT_EQ(image.height(), 1000);
    EXPECT_EQ(test::CountOf(server->errorOutput(), "User.getInfo user=bob"), 1);
}

TEST_F(TransferEngineTest, OutcomesOfTheServiceAndTheirReactions)
{
    struct Case {
        const char* name;
        std::string user, password;
        std::vector<std::string> faults;
        bool video;
        int batches;   // one file per batch
        bool sameFile; // the same file in every batch, or a new one each time
        std::vector<int> results;
        int finalState;
    } cases[] = {
        {"duplicate", "alice", "wonderland", {}, false, 2, true, {1, -3}, kStateUploaded},
        {"photo limit", "carol", "c", {}, false, 2, false, {1, -6}, kStateUploaded},
        {"video limit", "carol", "c", {}, true, 1, false, {-7}, kStateUploaded},
        {"garbage reply", "alice", "wonderland", {"--fault", "garbage@Media.upload"}, false, 1, false, {-4},
         kStateReady},
        {"dropped connection", "alice", "wonderland", {"--fault", "drop=200@Media.upload"}, false, 1, false, {-8},
         kStateUploaded},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(test::SandboxPath("data"));
        startService(c.user, c.password, c.faults);
        startEngine();
        std::string file;
        for (int i = 0; i < c.batches; ++i) {
            if (file.empty() || !c.sameFile) {
                const std::string name = test::SandboxPath("in/f" + std::to_string(n++));
                file = c.video ? test::MakeClip(name + ".mp4", 1) : test::MakePhoto(name + ".jpg", 900, 700, n);
            }
            ASSERT_TRUE(test::RunBatch(*engine, view, {file}, 1));
        }
        EXPECT_EQ(results(), c.results);
        {
            std::lock_guard lock(view.mutex);
            EXPECT_EQ(view.states.back(), c.finalState) << "refused files end as Uploaded, an unread reply as Ready";
            const int last = c.results.back();
            if (last == -3) {
                ASSERT_FALSE(view.balloons.empty());
                EXPECT_EQ(view.balloons.back().title, "Duplicate file");
                EXPECT_EQ(view.balloons.back().text.rfind("Media already exists on ", 0), 0u);
            }
            if (last == -6 || last == -7) {
                EXPECT_EQ(view.upgradePages, std::vector<int>{last == -6 ? 1 : 2});
            }
        }
        if (c.results.back() == -8) {
            EXPECT_EQ(test::CountOf(server->errorOutput(), "connection dropped"), 3) << "three attempts";
        }
        EXPECT_EQ(engine->queue().count(), 0u);
        engine.reset();
        server.reset();
        std::lock_guard lock(view.mutex);
        view.outcomes.clear();
        view.states.clear();
        view.balloons.clear();
        view.upgradePages.clear();
    }
}

TEST_F(TransferEngineTest, OfflineServiceIsRetriedUntilItComesBack)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    test::UseService("http://127.0.0.1:" + std::to_string(port));
    CurrentProfile() = CProfile("alice", "wonderland");
    startEngine();
    engine->intake().OnDropFiles({test::MakePhoto(test::SandboxPath("in/o.jpg"), 640, 480)});
    ASSERT_TRUE(view.waitFor([&] { return std::count(view.states.begin(), view.states.end(), kStateTrying) >= 2; }));

    const std::string config = test::SandboxPath("service.conf");
    test::WriteFile(config, kAccounts);
    server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"),
                                                      std::vector<std::string>{"--config", config, "--port", std::to_string(port)});
    ASSERT_TRUE(server->running());
    ASSERT_TRUE(view.waitFor([&] { return !view.outcomes.empty(); }));
    EXPECT_EQ(results(), std::vector<int>{1});
}

TEST_F(TransferEngineTest, CancelDuringAnUploadEmptiesTheQueueAndGivesNamesBack)
{
    startService("alice", "wonderland", {"--fault", "delay=5000@Media.upload"});
    startEngine();
    const std::string odd = test::SandboxPath("in/caf\xE9.jpg"); // not valid UTF-8: renamed while queued
    test::MakePhoto(test::SandboxPath("in/plain.jpg"), 640, 480);
    fs::rename(test::SandboxPath("in/plain.jpg"), odd);
    const std::string second = test::MakePhoto(test::SandboxPath("in/second.jpg"), 640, 480, 3);
    engine->intake().OnDropFiles({odd, second});
    EXPECT_FALSE(fs::exists(odd)) << "the file waits under a temporary name";
    ASSERT_TRUE(view.waitFor([&] { return !view.states.empty() && view.states.back() == kStateUploading; }));

    const auto start = std::chrono::steady_clock::now();
    engine->cancel({});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(engine->queue().count(), 0u);
    EXPECT_TRUE(fs::exists(odd)) << "its name is back";
    ASSERT_TRUE(view.waitFor([&] { return !view.outcomes.empty(); }, 5s));
    EXPECT_EQ(results(), std::vector<int>{0});
    std::lock_guard lock(view.mutex);
    EXPECT_EQ(view.states.back(), kStateReady);
}

TEST_F(TransferEngineTest, CancelDuringEncodingStopsTheEncoderAndItsChildren)
{
    // The first encoder, found in the working directory before PATH, becomes
    // the real one after starting a silent child, which only stopping the
    // whole group ends (the encoder itself would also die of the closed pipe).
    test::WriteFile("mencoder", "#!/bin/sh\nsleep 600 &\nexec mencoder \"$@\"\n");
    fs::permissions("mencoder", fs::perms::owner_all);
    startService("alice", "wonderland");
    startEngine();
    const std::string clip = test::MakeClip(test::SandboxPath("in/long.mp4"), 40, "320x240");
    engine->intake().OnDropFiles({clip});
    ASSERT_TRUE(view.waitFor([&] { return !view.states.empty() && view.states.back() == kStateEncoding; }));
    pid_t encoder = 0;
    for (int i = 0; i < 250 && encoder == 0; ++i) {
        for (const auto& child : test::ChildrenOfThisProcess())
            if (child.name == "mencoder" && test::LiveProcessesInGroup(child.pid).size() >= 2)
                encoder = child.pid;
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(encoder, 0) << "the encoder with its child";
    const std::vector<pid_t> group = test::LiveProcessesInGroup(encoder);
    engine->cancel({});
    EXPECT_TRUE(engine->objects().acknowledge.isSet());
    const bool gone = test::WaitForGroupGone(encoder, 2s);
    if (!gone)
        ::kill(-encoder, SIGKILL);
    EXPECT_TRUE(gone) << "the encoder and its child are stopped";
    for (pid_t member : group)
        EXPECT_FALSE(test::ProcessAlive(member)) << member;
    ASSERT_TRUE(view.waitFor([&] { return !view.outcomes.empty(); }, 10s));
    EXPECT_EQ(results(), std::vector<int>{0});
    EXPECT_TRUE(storedMedia("alice").empty());
    std::lock_guard lock(view.mutex);
    EXPECT_EQ(view.states.back(), kStateReady);
}

// A Cancel with nothing to cancel must leave the next drop alone: neither the
// connection check nor a video's encoder may take it as meant for them.
TEST_F(TransferEngineTest, CancelWhileIdleLeavesTheNextFilesAlone)
{
    startService("alice", "wonderland");
    startEngine();
    engine->cancel({});
    const std::string photo = test::MakePhoto(test::SandboxPath("in/after.jpg"), 640, 480);
    const std::string clip = test::MakeClip(test::SandboxPath("in/after.mp4"), 3);
    ASSERT_TRUE(test::RunBatch(*engine, view, {photo, clip}, 2, 60s));
    EXPECT_EQ(results(), (std::vector<int>{1, 1}));
    EXPECT_EQ(storedMedia("alice").size(), 2u);
    std::lock_guard lock(view.mutex);
    EXPECT_EQ(std::count(view.states.begin(), view.states.end(), kStateTrying), 0);
}

TEST_F(TransferEngineTest, StopDuringALongUploadEndsWithinTheBound)
{
    startService("alice", "wonderland", {"--fault", "delay=20000@Media.upload"});
    startEngine();
    engine->intake().OnDropFiles({test::MakePhoto(test::SandboxPath("in/q.jpg"), 640, 480)});
    ASSERT_TRUE(view.waitFor([&] { return !view.states.empty() && view.states.back() == kStateUploading; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->stop(2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
}

TEST_F(TransferEngineTest, NotificationIsPolledAndItsPictureSaved)
{
    SetSettingInt(kSettingsSection, "ShowNotifications", 1);
    startService("alice", "wonderland");
    startEngine(true);
    ASSERT_TRUE(view.waitFor([&] { return view.notifications == 1; }, 20s));
    const NotificationPoller* poller = engine->poller();
    ASSERT_NE(poller, nullptr);
    EXPECT_EQ(poller->record().localImagePath.rfind(platform::TempPath(), 0), 0u);
    EXPECT_TRUE(fs::exists(poller->record().localImagePath));
    EXPECT_EQ(GetSettingString(kSettingsSection, "LastComment", ""), poller->record().reply);
}

TEST_F(TransferEngineTest, TurnedPhotoIsSentUprightAndItsCopyDeletedAfterwards)
{
    startService("alice", "wonderland");
    startEngine();
    const std::string photo = test::MakeTurnedPhoto(test::SandboxPath("in/turned.jpg"), 640, 480, 6);
    ASSERT_TRUE(test::RunBatch(*engine, view, {photo}, 1));
    EXPECT_EQ(results(), std::vector<int>{1});

    const auto stored = storedMedia("alice");
    ASSERT_EQ(stored.size(), 1u);
    const QImage image(QString::fromStdString(stored[0]));
    ASSERT_EQ(image.width(), 600) << "turned a quarter: 480 x 640, scaled into the 800 box";
    ASSERT_EQ(image.height(), 800);
    // Turned clockwise, the red top left quarter is now the top right one.
    EXPECT_GT(QColor(image.pixel(450, 200)).red(), 200);
    EXPECT_LT(QColor(image.pixel(150, 200)).red(), 60);

    const std::string log = test::ReadFile("Quaylet.log");
    EXPECT_NE(log.find("xferDaemon: Image " + photo + " rotated"), std::string::npos);
    EXPECT_FALSE(fs::exists(platform::TempPath() + "TR1.jpeg")) << "the upright copy goes with its row";
}

TEST_F(TransferEngineTest, FileThatCannotBePreparedIsSentAsItIs)
{
    startService("alice", "wonderland");
    startEngine();
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"in/broken.jpg", "\xFF\xD8\xFF\xE0 not really a photo"},
        {"in/broken.avi", "RIFF....AVI LIST not really a video"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = test::SandboxPath(f.name);
        test::WriteFile(path, f.bytes);
        const std::size_t before = storedMedia("alice").size();
        ASSERT_TRUE(test::RunBatch(*engine, view, {path}, 1));
        const auto stored = storedMedia("alice");
        ASSERT_EQ(stored.size(), before + 1);
        bool found = false;
        for (const std::string& file : stored)
            found = found || test::ReadFile(file) == f.bytes;
        EXPECT_TRUE(found) << "the dropped file itself is stored";
        const std::string log = test::ReadFile("Quaylet.log");
        EXPECT_NE(log.find("No orientation info present for " + path), std::string::npos);
    }
    EXPECT_EQ(results(), (std::vector<int>{1, 1}));
}

TEST_F(TransferEngineTest, FileDeletedBeforeItsTurnFailsOnTheClientSide)
{
    startService("alice", "wonderland");
    startEngine();
    const std::string first = test::MakePhoto(test::SandboxPath("in/first.jpg"), 900, 700, 1);
    const std::string gone = test::MakePhoto(test::SandboxPath("in/gone.jpg"), 900, 700, 2);
    engine->intake().OnDropFiles({first, gone});
    fs::remove(gone); // the first file is still being prepared
    ASSERT_TRUE(view.waitFor([&] { return view.outcomes.size() == 2; }));
    std::lock_guard lock(view.mutex);
    EXPECT_EQ(view.outcomes, (std::vector<std::pair<std::string, int>>{{first, 1}, {gone, -8}}));
    EXPECT_EQ(engine->queue().count(), 0u);
}
