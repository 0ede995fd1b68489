#include "media/aviprobe.h"
#include "media/encodercommands.h"
#include "media/videoconversion.h"

#include "core/logfile.h"
#include "clips.h"
#include "platform/processexit.h"
#include "platform/tempdir.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using quaylet::ConversionEvents;
using quaylet::ConvertVideo;
using quaylet::platform::Event;
using namespace quaylet::test;

namespace {

namespace fs = std::filesystem;

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0;
}

// The transfer engine's events, as the main window creates them.
struct Events {
    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Manual};
    Event acknowledgement{Event::Reset::Manual, true};
    ConversionEvents view() { return {cancel, acknowledgement, &quit}; }
};

std::string mp4Path()
{
    return quaylet::platform::TempPath() + "temp_video.mp4";
}

bool isMonotonic(const std::vector<int>& v)
{
    for (size_t i = 1; i < v.size(); ++i)
        if (v[i] < v[i - 1])
            return false;
    return true;
}

// Waits until a child of this process with that name runs; its pid, or 0.
pid_t waitForChild(const std::string& name, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        for (const auto& c : ChildrenOfThisProcess())
            if (c.name == name && c.state != 'Z')
                return c.pid;
        std::this_thread::sleep_for(5ms);
    }
    return 0;
}

struct Format {
    const char* name;
    const char* file;
    std::vector<std::string> codecArgs;
    int width = 160, height = 120;
};

void PrintTo(const Format& f, std::ostream* os)
{
    *os << f.name;
}

class CameraFormats : public ::testing::TestWithParam<Format> {};

} // namespace

// Every common camera format comes out as a moving H.264/AAC MP4.
TEST_P(CameraFormats, ConvertToAMovingMp4)
{
    const Format& f = GetParam();
    const std::string source = SandboxPath(std::string("clips/") + f.file);
    fs::create_directories(SandboxPath("clips"));
    ASSERT_TRUE(MakeClip({source, 3, f.width, f.height, 15, true, f.codecArgs}));
    Events events;
    RecordingWindow window;
    const std::string result = ConvertVideo(source, false, events.view(), &window);
    EXPECT_EQ(result, mp4Path());
    ASSERT_TRUE(exists(result));
    EXPECT_EQ(StreamCodec(result, "v"), "h264");
    EXPECT_EQ(StreamCodec(result, "a"), "aac");
    const FrameCount frames = CountFrames(result);
    EXPECT_GE(frames.total, 40u);
    // A frozen picture would give a handful of distinct frames at most.
    EXPECT_GE(frames.distinct, frames.total * 2 / 3) << frames.distinct << " of " << frames.total;
    EXPECT_NEAR(Duration(result), 3.0, 0.5);
    EXPECT_TRUE(isMonotonic(window.positions()));
    ASSERT_FALSE(window.positions().empty());
    EXPECT_EQ(window.positions().back(), 100);
    EXPECT_EQ(window.texts().back(), "Encoding: 100%");
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CameraFormats,
    ::testing::Values(
        Format{"H264Mp4", "clip.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}},
        Format{"H264Mov", "clip.MOV", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}},
        Format{"XvidAvi", "clip.avi", {"-c:v", "mpeg4", "-vtag", "XVID", "-c:a", "libmp3lame"}},
        Format{"DivxAvi", "clip.AVI", {"-c:v", "mpeg4", "-vtag", "DX50", "-c:a", "libmp3lame"}},
        Format{"Mpeg4AviWithBFrames", "clip.avi", {"-c:v", "mpeg4", "-vtag", "XVID", "-bf", "2", "-c:a", "libmp3lame"}},
        Format{"MjpegAvi", "clip.avi", {"-c:v", "mjpeg", "-c:a", "pcm_s16le"}},
        Format{"Mpeg2Mpg", "clip.mpg", {"-c:v", "mpeg2video", "-c:a", "mp2", "-ar", "44100"}},
        Format{"Mpeg2Vob", "clip.vob", {"-c:v", "mpeg2video", "-c:a", "mp2", "-ar", "48000", "-f", "vob"}},
        Format{"H263ThreeGp", "clip.3gp", {"-c:v", "h263", "-c:a", "aac", "-ar", "8000", "-ac", "1"}, 176, 144},
        Format{"Mpeg4ThreeGp", "clip.3gp", {"-c:v", "mpeg4", "-c:a", "aac"}},
        Format{"Wmv", "clip.wmv", {"-c:v", "wmv2", "-c:a", "wmav2"}},
        Format{"Asf", "clip.asf", {"-c:v", "wmv2", "-c:a", "wmav2"}}),
    [](const ::testing::TestParamInfo<Format>& param) { return std::string(param.param.name); });

TEST(AviProbe, RecognisesMpeg4VisualAvisOnly)
{
    struct Case {
        const char* file;
        std::vector<std::string> args;
        bool mpeg4;
    };
    const std::vector<Case> cases{
        {"xvid.avi", {"-c:v", "mpeg4", "-vtag", "XVID"}, true},
        {"divx.avi", {"-c:v", "mpeg4", "-vtag", "DIVX"}, true},
        {"fmp4.avi", {"-c:v", "mpeg4"}, true},
        {"mjpeg.avi", {"-c:v", "mjpeg"}, false},
        {"h264.avi", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, false},
        {"mpeg4.mp4", {"-c:v", "mpeg4"}, false},
    };
    for (const auto& c : cases) {
        const std::string path = SandboxPath(c.file);
        ASSERT_TRUE(MakeClip({path, 1, 64, 48, 15, true, c.args})) << c.file;
        EXPECT_EQ(quaylet::IsMpeg4VisualAvi(path), c.mpeg4) << c.file;
    }
    WriteFile(SandboxPath("short.avi"), "RIFF\x10\0\0\0AVI LIST");
    EXPECT_FALSE(quaylet::IsMpeg4VisualAvi(SandboxPath("short.avi")));
    EXPECT_FALSE(quaylet::IsMpeg4VisualAvi(SandboxPath("missing.avi")));
}

TEST(AviProbe, NeverWaitsOnAFifo)
{
    const std::string fifo = SandboxPath("pipe.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto probe = std::async(std::launch::async, [&] { return quaylet::IsMpeg4VisualAvi(fifo); });
    const bool prompt = probe.wait_for(2s) == std::future_status::ready;
    if (!prompt) {
        // Let a probe stuck in open() go, so that the test ends.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_TRUE(prompt);
    EXPECT_FALSE(probe.get());
}

TEST(EncoderCommands, TextsAreLoggedWhilePathsStaySingleArguments)
{
    const std::string hostile = "/v/My \"clip\" -o /etc/x.avi";
    const auto first = quaylet::FirstEncoderCommand(hostile, "/t/temp_video.avi", false, false);
    EXPECT_EQ(first.text, "mencoder \"" + hostile +
                              "\" -o \"/t/temp_video.avi\" -ovc lavc -lavcopts vcodec=mjpeg:autoaspect "
                              "-endpos 02:00 -oac pcm");
    EXPECT_EQ(first.arguments.size(), 12u);
    EXPECT_EQ(first.arguments[1], hostile);
    const auto mpeg4 = quaylet::FirstEncoderCommand("-x.avi", "/t/temp_video.avi", true, true);
    EXPECT_EQ(mpeg4.arguments[1], "./-x.avi");
    EXPECT_EQ(mpeg4.arguments[9], "10:00");
    EXPECT_EQ(mpeg4.text.substr(mpeg4.text.size() - 13), "-demuxer lavf");

    EXPECT_EQ(quaylet::SecondEncoderCommand("/t/a.avi", "/t/b.mp4", true).text,
              "ffmpeg -y -i \"/t/a.avi\" -t 0:10:00.000 -ab 56K -ar 22050 -acodec aac -b:v 600K -r 15 "
              "-vcodec libx264  -f mp4 \"/t/b.mp4\"");
    EXPECT_EQ(quaylet::SecondEncoderCommand("/t/a.avi", "/t/b.mp4", false).text,
              "ffmpeg -y -i \"/t/a.avi\" -t 0:2:00.000 -ab 56K -ar 22050 -acodec aac -b:v 400K -r 15 "
              "-vcodec libx264 -f mp4 \"/t/b.mp4\"");

    const auto preview = quaylet::PreviewCommand("/Videos/Clip.MOV", "/T%mp/", 3);
    EXPECT_EQ(preview.text,
              "ffmpeg -y -ss 0:0:2 -i \"/Videos/Clip.MOV\" -f image2 -vframes 1 \"/T%mp/moviepreview_03_%d.jpg\"");
    EXPECT_EQ(preview.arguments.back(), "/T%%mp/moviepreview_03_%d.jpg");
}

namespace {
// A clip longer than two minutes, tiny so that it converts in a few seconds.
std::string longClip()
{
    const std::string path = SandboxPath("long clip.mp4");
    EXPECT_TRUE(MakeClip({path, 130, 64, 48, 2, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}}));
    return path;
}
} // namespace

TEST(ConvertVideo, NonPremiumIsCutAtTwoMinutesWithProgressTo100AndItsLogLines)
{
    quaylet::OpenLog("Quaylet.log");
    const std::string source = longClip();
    Events events;
    RecordingWindow window;
    const std::string result = ConvertVideo(source, false, events.view(), &window);
    ASSERT_TRUE(exists(result));
    EXPECT_NEAR(Duration(result), 120.0, 1.0);
    EXPECT_EQ(window.maximum(), 100);
    const auto positions = window.positions();
    EXPECT_TRUE(isMonotonic(positions));
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 100);
    // The first encoder's position over the 120 s limit fills the first half.
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [](int p) { return p > 0 && p <= 50; }));
    EXPECT_TRUE(events.acknowledgement.isSet());

    const std::string log = ReadFile("Quaylet.log");
    const std::string firstLine = "Command Line: mencoder \"" + source + "\" -o \"" +
                                  quaylet::platform::TempPath() + "temp_video.avi\"";
    const auto at = log.find(firstLine);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find(firstLine, at + 1), std::string::npos); // logged before and after the start
    EXPECT_NE(log.find("Command Line: ffmpeg -y -i \""), std::string::npos);
    EXPECT_NE(log.find("Failed to launch flvmdi.exe \"" + result + "\""), std::string::npos);
    EXPECT_NE(log.find("ffmpeg encoding detected."), std::string::npos);
}

TEST(ConvertVideo, PremiumKeepsMoreThanTwoMinutes)
{
    const std::string source = longClip();
    Events events;
    const std::string result = ConvertVideo(source, true, events.view(), nullptr);
    ASSERT_TRUE(exists(result));
    EXPECT_GT(Duration(result), 125.0);
}

namespace {
// A clip that keeps the encoders busy for a few seconds.
std::string busyClip()
{
    const std::string path = SandboxPath("busy.avi");
    EXPECT_TRUE(MakeClip({path, 60, 320, 240, 25, true, {"-c:v", "mjpeg", "-q:v", "10", "-c:a", "pcm_s16le"}}));
    return path;
}
} // namespace

TEST(ConvertVideo, CancelDuringTheFirstEncoderStopsItAndAcknowledges)
{
    const std::string source = busyClip();
    Events events;
    RecordingWindow window;
    auto conversion = std::async(std::launch::async, [&] { return ConvertVideo(source, false, events.view(), &window); });
    const pid_t encoder = waitForChild("mencoder", 5s);
    ASSERT_NE(encoder, 0);
    // Cleared while the first encoder runs.
    for (int i = 0; i < 200 && events.acknowledgement.isSet(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(events.acknowledgement.isSet());

    // The Cancel command: set the event, wait for the acknowledgement (at most 1000 ms).
    const auto start = std::chrono::steady_clock::now();
    events.cancel.set();
    EXPECT_TRUE(events.acknowledgement.wait(1000ms));
    ASSERT_EQ(conversion.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(conversion.get(), mp4Path());
    EXPECT_FALSE(exists(mp4Path()));
    EXPECT_FALSE(events.cancel.isSet());
    EXPECT_FALSE(ProcessAlive(encoder));
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(ConvertVideo, CancelDuringTheSecondEncoderFindsTheAcknowledgementSet)
{
    const std::string source = busyClip();
    Events events;
    auto conversion = std::async(std::launch::async, [&] { return ConvertVideo(source, false, events.view(), nullptr); });
    const pid_t encoder = waitForChild("ffmpeg", 20s);
    ASSERT_NE(encoder, 0);
    EXPECT_TRUE(events.acknowledgement.isSet()); // the Cancel command does not wait
    events.cancel.set();
    ASSERT_EQ(conversion.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(conversion.get(), mp4Path());
    EXPECT_FALSE(exists(mp4Path())); // the partial MP4 is not left for upload
    EXPECT_FALSE(events.cancel.isSet());
    EXPECT_TRUE(events.acknowledgement.isSet());
    EXPECT_FALSE(ProcessAlive(encoder));
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(ConvertVideo, QuitStopsTheEncoderPromptly)
{
    const std::string source = busyClip();
    Events events;
    auto conversion = std::async(std::launch::async, [&] { return ConvertVideo(source, true, events.view(), nullptr); });
    ASSERT_NE(waitForChild("mencoder", 5s), 0);
    const auto start = std::chrono::steady_clock::now();
    events.quit.set();
    ASSERT_EQ(conversion.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(exists(conversion.get()));
    EXPECT_TRUE(events.acknowledgement.isSet());
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

// Inputs that cannot become an upload end in the failure path: no MP4.
TEST(ConvertVideo, BadInputsLeaveNoMp4)
{
    WriteFile(SandboxPath("notavideo.avi"), "this is a text file, not a video\n");
    WriteFile(SandboxPath("empty.mp4"), "");
    ASSERT_TRUE(MakeClip({SandboxPath("sound.mov"), 2, 0, 0, 0, true, {"-map", "1:a", "-c:a", "aac"}}) ||
                MakeClip({SandboxPath("sound.mov"), 2, 16, 16, 1, true, {"-map", "1:a", "-c:a", "aac"}}));
    for (const char* name : {"notavideo.avi", "empty.mp4", "sound.mov", "missing.avi"}) {
        Events events;
        RecordingWindow window;
        const auto start = std::chrono::steady_clock::now();
        const std::string result = ConvertVideo(SandboxPath(name), false, events.view(), &window);
        EXPECT_EQ(result, mp4Path()) << name;
        EXPECT_FALSE(exists(result)) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << name;
        EXPECT_TRUE(events.acknowledgement.isSet()) << name;
        for (int p : window.positions())
            EXPECT_LT(p, 100) << name;
        EXPECT_TRUE(ChildrenOfThisProcess().empty()) << name;
    }
}

TEST(ConvertVideo, VideoWithoutSoundConverts)
{
    const std::string source = SandboxPath("silent.avi");
    ASSERT_TRUE(MakeClip({source, 3, 160, 120, 15, false, {"-c:v", "mpeg4", "-vtag", "XVID"}}));
    Events events;
    const std::string result = ConvertVideo(source, false, events.view(), nullptr);
    ASSERT_TRUE(exists(result));
    EXPECT_EQ(StreamCodec(result, "a"), "");
    EXPECT_GE(CountFrames(result).distinct, 30u);
}

TEST(ConvertVideo, MissingEncodersFailWithoutWaiting)
{
    const std::string source = SandboxPath("clip.mp4");
    ASSERT_TRUE(MakeClip({source, 1, 64, 48, 15, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p"}}));
    ::setenv("PATH", SandboxPath("nothing-here").c_str(), 1);
    Events events;
    const std::string result = ConvertVideo(source, false, events.view(), nullptr);
    EXPECT_FALSE(exists(result));
    EXPECT_TRUE(events.acknowledgement.isSet());
}

// Stand-in encoders in the working directory, which the program lookup
// searches before PATH.
TEST(ConvertVideo, HangingEncoderIsStoppedAsAGroup)
{
    WriteScript("mencoder", "sleep 60 & sleep 60");
    Events events;
    quaylet::ConversionOptions options;
    options.stallTimeout = 500ms;
    const auto start = std::chrono::steady_clock::now();
    const std::string result = ConvertVideo(SandboxPath("any.avi"), false, events.view(), nullptr, options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(exists(result));
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(ConvertVideo, CancelStopsAHangingEncoderWhoseEndCannotBeWatched)
{
    quaylet::platform::ProcessExit::InjectFaults({true, true});
    WriteScript("mencoder", "sleep 60 & sleep 60");
    Events events;
    auto conversion = std::async(std::launch::async,
                                 [&] { return ConvertVideo(SandboxPath("any.avi"), false, events.view(), nullptr); });
    const pid_t encoder = waitForChild("mencoder", 5s);
    ASSERT_NE(encoder, 0);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(events.acknowledgement.isSet()) << "the running encoder was taken as ended";
    events.cancel.set();
    const bool prompt = conversion.wait_for(2s) == std::future_status::ready;
    if (!prompt)
        ::kill(-encoder, SIGKILL); // lets a conversion stuck in the encoder's reaping go
    EXPECT_TRUE(prompt);
    EXPECT_FALSE(exists(conversion.get()));
    EXPECT_TRUE(events.acknowledgement.isSet());
    EXPECT_FALSE(events.cancel.isSet());
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(ConvertVideo, FloodingEncoderCanBeCancelled)
{
    WriteScript("mencoder", "yes 'Pos:  60.0s   900f (0%)  0.00fps Trem:   0min   0mb'");
    Events events;
    RecordingWindow window;
    auto conversion = std::async(std::launch::async,
                                 [&] { return ConvertVideo(SandboxPath("any.avi"), false, events.view(), &window); });
    std::this_thread::sleep_for(500ms);
    events.cancel.set();
    EXPECT_TRUE(events.acknowledgement.wait(1000ms));
    ASSERT_EQ(conversion.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(exists(conversion.get()));
    EXPECT_FALSE(window.positions().empty()); // its output was read
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(ConvertVideo, FailingSecondEncoderLeavesNoPartialMp4)
{
    const std::string source = SandboxPath("clip.mp4");
    ASSERT_TRUE(MakeClip({source, 2, 64, 48, 15, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}}));
    // Writes part of a file to its last argument, then fails.
    WriteScript("ffmpeg", "for last; do :; done; echo partial > \"$last\"; echo \"Input #0, avi, from 'temp_video.avi'\"; exit 1");
    Events events;
    const std::string result = ConvertVideo(source, false, events.view(), nullptr);
    EXPECT_FALSE(exists(result));
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(MakeVideoPreview, WritesTheStillFrameOfAVideoAndNothingForAPhoto)
{
    fs::create_directories(SandboxPath("My Videos"));
    const std::string video = SandboxPath("My Videos/Holiday CLIP.MOV");
    ASSERT_TRUE(MakeClip({video, 3, 160, 120, 15, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"}}));

    std::string path = video;
    EXPECT_TRUE(quaylet::MakeVideoPreview(1, path, 2));
    EXPECT_EQ(path, quaylet::platform::TempPath() + "moviepreview_01_1.jpg");
    ASSERT_TRUE(exists(path));
    EXPECT_EQ(ReadFile(path).substr(0, 2), "\xFF\xD8");

    std::string second = video;
    EXPECT_TRUE(quaylet::MakeVideoPreview(1, second, 2));
    EXPECT_EQ(second, quaylet::platform::TempPath() + "moviepreview_02_1.jpg");

    const std::string photo = SandboxPath("photo.jpg");
    std::string photoPath = photo;
    EXPECT_FALSE(quaylet::MakeVideoPreview(1, photoPath, 1));
    EXPECT_EQ(photoPath, photo);
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}

TEST(MakeVideoPreview, ShortVideoGivesNoStillFrame)
{
    const std::string video = SandboxPath("short.mp4");
    ASSERT_TRUE(MakeClip({video, 1, 64, 48, 15, true, {"-c:v", "libx264", "-pix_fmt", "yuv420p"}}));
    std::string path = video;
    EXPECT_FALSE(quaylet::MakeVideoPreview(1, path, 2));
    EXPECT_FALSE(exists(path));
}

TEST(MakeVideoPreview, HangingEncoderIsStoppedAtTheBound)
{
    WriteScript("ffmpeg", "sleep 60 & sleep 60");
    std::string path = SandboxPath("any.mp4");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(quaylet::MakeVideoPreview(1, path, 2, 500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(ChildrenOfThisProcess().empty());
}
