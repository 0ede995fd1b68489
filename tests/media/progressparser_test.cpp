#include "media/convertorsredirector.h"
#include "media/progressparser.h"

#include "clips.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using quaylet::CConvertorsRedirector;
using quaylet::ParseProgressChunk;
using quaylet::ProgressState;

namespace {

ProgressState firstEncoder(int32_t limit)
{
    ProgressState s;
    s.positionLimit = limit;
    return s;
}

ProgressState secondEncoder(int32_t frameTotal, bool flag = false, int32_t duration = 0)
{
    ProgressState s;
    s.base = 50;
    s.frameTotal = frameTotal;
    s.secondEncoder = flag;
    s.clipDuration = duration;
    return s;
}

struct ChunkCase {
    const char* name;
    ProgressState before;
    std::vector<std::string> chunks; // fed in turn; the percent of the last one is checked
    std::optional<uint32_t> percent;
    int32_t frameTotal;
    int32_t clipDuration;
    bool secondEncoderFlag;
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgressChunks : public ::testing::TestWithParam<ChunkCase> {};

} // namespace

TEST_P(ProgressChunks, GiveTheirPercentAndState)
{
    const ChunkCase& c = GetParam();
    ProgressState state = c.before;
    std::optional<uint32_t> percent;
    for (const auto& chunk : c.chunks)
        percent = ParseProgressChunk(state, chunk);
    EXPECT_EQ(percent, c.percent);
    EXPECT_EQ(state.frameTotal, c.frameTotal);
    EXPECT_EQ(state.clipDuration, c.clipDuration);
    EXPECT_EQ(state.secondEncoder, c.secondEncoderFlag);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressChunks,
    ::testing::Values(
        ChunkCase{"PositionOverTheLimit", firstEncoder(120), {"Pos: 30.0s 750f (99%)"}, 12u, 750, 0, false},
        ChunkCase{"MinutesCount60", firstEncoder(120), {"Pos:   1.5m   900f (10%)"}, 37u, 900, 0, false},
        ChunkCase{"PremiumLimit", firstEncoder(600), {"Pos: 300.0s 7500f (50%)"}, 25u, 7500, 0, false},
        ChunkCase{"TruncatedToZeroGivesNothing", firstEncoder(120), {"Pos:   0.4s     6f (1%)"}, std::nullopt, 6, 0,
                  false},
        // Beyond any int, or not a number at all: no position, as the old conversion gave.
        ChunkCase{"PositionBeyondAnyNumber", firstEncoder(120), {"Pos: 1e300s 750f (99%)"}, std::nullopt, 750, 0,
                  false},
        ChunkCase{"PositionNotANumber", firstEncoder(120), {"Pos: nans 750f (99%)"}, std::nullopt, 750, 0, false},
        ChunkCase{"NoLimitAfterTheFirstEncoder", firstEncoder(0), {"Pos: 30.0s 750f (99%)"}, std::nullopt, 750, 0,
                  false},
        ChunkCase{"RealMencoderRecord", firstEncoder(120),
                  {"Pos:  60.2s    903f (30%)  0.00fps Trem:   0min   0mb  A-V:0.031 [11:705]\r"}, 25u, 903, 0, false},
        ChunkCase{"PositionHidesALaterFrameCount", firstEncoder(120), {"Pos: 30.0s 750f (25%) PROGRESS 700"}, 12u,
                  750, 0, false},
        ChunkCase{"FramesAgainstTheFirstEncodersTotal", secondEncoder(750), {"frame=  375 fps=0.0 q=28.0"}, 75u,
                  750, 0, false},
        ChunkCase{"ProgressKeywordWins", secondEncoder(100), {"PROGRESS: 20 frame= 90"}, 60u, 100, 0, false},
        ChunkCase{"InputNameSetsTheSecondEncoderFlag", secondEncoder(750),
                  {"Input #0, avi, from '/tmp/quaylet-0/x/temp_video.avi':\n"}, std::nullopt, 750, 0, true},
        ChunkCase{"DurationThenTime", secondEncoder(750, true),
                  {"  Duration: 00:01:00.04, start: 0.000000, bitrate: 1217 kb/s\n",
                   "frame=  100 fps=0.0 q=28.0 size=  0kB time=00:00:30.00 bitrate=  1.0kbits/s\r"},
                  75u, 750, 60, true},
        ChunkCase{"DurationHidesTimeInTheSameChunk", secondEncoder(0, true),
                  {"Duration: 00:01:00.04, start: 0.0 time=00:00:30.00"}, std::nullopt, 0, 60, true},
        ChunkCase{"TimeIgnoredBeforeTheFlag", secondEncoder(0, false, 60), {"time=00:00:30.00"}, std::nullopt, 0, 60,
                  false},
        ChunkCase{"TimeNotAvailable", secondEncoder(0, true, 60), {"frame= 0 time=N/A bitrate=N/A speed=1.5x"},
                  std::nullopt, 0, 60, true},
        ChunkCase{"RealFfmpegFinalRecord", secondEncoder(60, true, 4),
                  {"frame=   60 fps=0.0 q=-1.0 Lsize=     139kB time=00:00:04.08 bitrate= 279.2kbits/s speed=31.2x    \r"},
                  100u, 60, 4, true},
        ChunkCase{"LineSplitAcrossTwoChunks", firstEncoder(120), {"Pos:  3", "0.0s   750f (25%)"}, std::nullopt, 0, 0,
                  false},
        ChunkCase{"FrameCountSplitAcrossTwoChunks", secondEncoder(750), {"fra", "me=  375"}, std::nullopt, 750, 0,
                  false},
        ChunkCase{"EncStartSetsTheFrameTotal", ProgressState{}, {"ENC_START 1 1500 frames"}, std::nullopt, 1500, 0,
                  false},
        ChunkCase{"Unsigned32BitArithmetic", secondEncoder(1), {"frame= 100000000"}, 705032754u, 1, 0, false}),
    [](const ::testing::TestParamInfo<ChunkCase>& param) { return std::string(param.param.name); });

namespace {

// A clock the test moves by hand.
struct ManualClock {
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    quaylet::CDelayMethodCall::Clock fn()
    {
        return [this] { return now; };
    }
};

} // namespace

TEST(ConvertorsRedirector, ShowsTextsThroughTheLimiterBelow45AndAtOnceFrom45)
{
    quaylet::test::RecordingWindow window;
    ManualClock clock;
    CConvertorsRedirector runner(&window, 120, clock.fn());
    clock.now += 1s;
    runner.OnChildOutput("Pos: 12.0s 300f (10%)"); // 5 %
    clock.now += 100ms;
    runner.OnChildOutput("Pos: 24.0s 600f (20%)"); // 10 %, text dropped by the limiter
    clock.now += 250ms;
    runner.OnChildOutput("Pos: 36.0s 900f (30%)"); // 15 %
    runner.SetPositionLimit(0);
    runner.SetStep(50, 50);
    runner.OnChildOutput("frame=  450"); // 75 %, shown at once
    EXPECT_EQ(window.positions(), (std::vector<int>{5, 10, 15, 75}));
    EXPECT_EQ(window.texts(), (std::vector<std::string>{"Encoding: 5%", "Encoding: 15%", "Encoding: 75%"}));
}

TEST(ConvertorsRedirector, ProgressStaysWithin0To100AndNeverMovesBackwards)
{
    quaylet::test::RecordingWindow window;
    ManualClock clock;
    CConvertorsRedirector runner(&window, 0, clock.fn());
    runner.SetStep(50, 50);
    runner.OnChildOutput("ENC_START 1 100");
    runner.OnChildOutput("frame=   80");   // 90 %
    runner.OnChildOutput("frame=   40");   // 70 %: not shown
    runner.OnChildOutput("frame=  400");   // 250 %: shown as 100
    runner.OnChildOutput("frame=    0");   // 50 %: not shown
    EXPECT_EQ(window.positions(), (std::vector<int>{90, 100}));
    EXPECT_EQ(window.texts().back(), "Encoding: 100%");
    EXPECT_EQ(runner.ShownPercent(), 100u);
}

TEST(ConvertorsRedirector, ZeroIsNotShownAndRunnerErrorsCarryNoProgress)
{
    quaylet::test::RecordingWindow window;
    CConvertorsRedirector runner(&window, 120);
    runner.OnChildOutput("Pos: 0.4s 6f (0%)");
    runner.OnRunnerError("Redirect console error: 2\r\n");
    EXPECT_TRUE(window.positions().empty());
    EXPECT_TRUE(window.texts().empty());
}
