#include "media/videoconversion.h"

#include "core/logfile.h"
#include "media/aviprobe.h"
#include "media/convertorsredirector.h"
#include "media/encodercommands.h"
#include "platform/childprocess.h"
#include "platform/tempdir.h"

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quaylet {

namespace {

using namespace std::chrono_literals;

bool hasContent(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

enum class StepEnd { Ended, Cancelled, Quit, Stalled };

// Waits for the encoder's end, the cancel event or the quit event, watching
// for an encoder that has stopped writing anything.
StepEnd waitForEncoder(platform::ChildProcess& child, const ConversionEvents& events,
                       const CConvertorsRedirector& runner, const ConversionOptions& options)
{
    std::vector<platform::Waitable*> slots;
    if (events.quit)
        slots.push_back(events.quit);
    slots.push_back(&events.cancel);
    slots.push_back(&child.exitWaitable());
    const auto look = std::min<std::chrono::milliseconds>(options.stallTimeout, 1000ms);
    for (;;) {
        const auto slot = platform::waitForAny(slots, look);
        if (slot) {
            platform::Waitable* which = slots[*slot];
            if (which == events.quit)
                return StepEnd::Quit;
            if (which == &events.cancel)
                return StepEnd::Cancelled;
            return StepEnd::Ended;
        }
        if (std::chrono::steady_clock::now() - runner.LastOutput() > options.stallTimeout)
            return StepEnd::Stalled;
    }
}

// The exit status of an encoder that has ended, reaped.
bool endedCleanly(platform::ChildProcess& child)
{
    const auto status = child.waitExit();
    return status && platform::ChildProcess::exitedCleanly(*status);
}

void logCommand(const ChildCommand& command)
{
    WriteLog(LogMilestone, "Command Line: %s", command.text.c_str());
}

} // namespace

std::string ConvertVideo(const std::string& source, bool premium, const ConversionEvents& events,
                         IWindowReactions* window, const ConversionOptions& options)
{
    const std::string& temp = platform::TempPath();
    if (temp.empty()) {
        WriteLog(LogMilestone, "ConvertVideo: no temporary directory, %s not converted", source.c_str());
        return {};
    }
    const std::string avi = temp + "temp_video.avi";
    const std::string mp4 = temp + "temp_video.mp4";
    ::unlink(avi.c_str());
    ::unlink(mp4.c_str());

    // Every way out but success leaves no MP4 behind, so nothing partial is uploaded.
    auto fail = [&](const char* step, const char* why) {
        WriteLog(LogMilestone, "ConvertVideo: %s %s, %s not converted", step, why, source.c_str());
        ::unlink(mp4.c_str());
        return mp4;
    };
    // A stopped encoder: during the first one the Cancel command is still
    // waiting for the acknowledgement, during the second it already has it.
    auto stopped = [&](CConvertorsRedirector& runner, platform::ChildProcess& child, StepEnd end,
                       bool acknowledge) {
        child.stopGroup();
        if (end == StepEnd::Cancelled)
            events.cancel.reset();
        if (acknowledge)
            events.acknowledgement.set();
        runner.Shutdown();
        ::unlink(mp4.c_str());
        WriteLog(LogMilestone, "ConvertVideo: %s", end == StepEnd::Quit ? "stopped, the client is closing"
                                                                         : "cancelled");
        return mp4;
    };

    if (window)
        window->setProgressMaximum(100);

    // First encoder: the source to an MJPEG/PCM AVI cut at the end position.
    CConvertorsRedirector runner(window, premium ? 600 : 120);
    const ChildCommand first = FirstEncoderCommand(source, avi, premium, IsMpeg4VisualAvi(source));
    logCommand(first);
    runner.StartCommand(first);
    logCommand(first);
    if (auto child = runner.childProcess()) {
        events.acknowledgement.reset();
        const StepEnd end = waitForEncoder(*child, events, runner, options);
        if (end == StepEnd::Cancelled || end == StepEnd::Quit)
            return stopped(runner, *child, end, true);
        events.acknowledgement.set();
        if (end == StepEnd::Stalled) {
            child->stopGroup();
            runner.Shutdown();
            return fail("the first encoder", "wrote nothing for too long");
        }
        runner.SetPositionLimit(0);
        if (!endedCleanly(*child))
            return fail("the first encoder", "failed");
    } else {
        return fail("the first encoder", "could not be started");
    }
    if (!hasContent(avi))
        return fail("the first encoder", "wrote no video");

    // Second encoder: the AVI to the MP4 that is uploaded.
    const ChildCommand second = SecondEncoderCommand(avi, mp4, premium);
    runner.SetStep(50, 50);
    runner.Shutdown();
    logCommand(second);
    runner.SetPositionLimit(0);
    runner.StartCommand(second);
    if (auto child = runner.childProcess()) {
        const StepEnd end = waitForEncoder(*child, events, runner, options);
        if (end == StepEnd::Cancelled || end == StepEnd::Quit)
            return stopped(runner, *child, end, false);
        if (end == StepEnd::Stalled) {
            child->stopGroup();
            runner.Shutdown();
            return fail("the second encoder", "wrote nothing for too long");
        }
        if (!endedCleanly(*child)) {
            runner.Shutdown();
            return fail("the second encoder", "failed");
        }
    } else {
        return fail("the second encoder", "could not be started");
    }
    runner.Shutdown();
    if (!hasContent(mp4))
        return fail("the second encoder", "wrote no video");

    // The metadata tool: its failure to launch is logged and changes nothing.
    const ChildCommand metadata = MetadataCommand(mp4);
    logCommand(metadata);
    {
        platform::ChildProcess tool;
        if (tool.start(metadata.arguments) != 0) {
            WriteLog(LogMilestone, "Failed to launch %s", metadata.text.c_str());
        } else {
            std::vector<platform::Waitable*> slots{&tool.exitWaitable()};
            if (events.quit)
                slots.insert(slots.begin(), events.quit);
            if (platform::waitForAny(slots) == 0u && events.quit)
                return stopped(runner, tool, StepEnd::Quit, false);
        }
    }
    if (!hasContent(mp4))
        return fail("the metadata tool", "left no video");

    runner.ShowFinished();
    return mp4;
}

bool MakeVideoPreview(int index, std::string& path, int kind, std::chrono::milliseconds bound)
{
    if (kind <= 1)
        return false;
    static std::atomic<int> previewCounter{1};
    const std::string& temp = platform::TempPath();
    if (temp.empty())
        return false;
    const int counter = previewCounter.fetch_add(1);
    const ChildCommand command = PreviewCommand(path, temp, counter);
    path = temp + "moviepreview_0" + std::to_string(counter) + "_" + std::to_string(index) + ".jpg";
    ::unlink(path.c_str());

    logCommand(command);
    platform::ChildProcess encoder;
    if (encoder.start(command.arguments) != 0) {
        WriteLog(LogMilestone, "Failed to launch %s", command.text.c_str());
        return false;
    }
    std::this_thread::sleep_for(100ms);
    if (!encoder.waitExit(bound)) {
        // The window's thread waits here: an encoder that hangs is stopped.
        encoder.stopGroup();
        encoder.waitExit();
        WriteLog(LogMilestone, "MakeVideoPreview: the still-frame encoder did not end within %lld ms",
                 static_cast<long long>(bound.count()));
        return false;
    }
    return hasContent(path);
}

} // namespace quaylet
