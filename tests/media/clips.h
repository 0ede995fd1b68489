#pragma once

// Helpers for the media tests: clips made by the real encoder, facts read back
// from a video, and a window that records what the conversion shows (the
// children of this process come from support/processes.h).

#include "support/processes.h"
#include "transfer/windowreactions.h"

#include <mutex>
#include <string>
#include <vector>

namespace quaylet::test {

// Runs a program to its end with stdout captured; true when it exited 0.
bool RunTool(const std::vector<std::string>& argv, std::string* output = nullptr);

struct ClipSpec {
    std::string path;
    double seconds = 3;
    int width = 160, height = 120, rate = 15;
    bool sound = true;
    std::vector<std::string> codecArgs; // ffmpeg output options (codecs, tags, format)
};
// Makes a moving test-pattern clip with the real encoder; false on failure.
bool MakeClip(const ClipSpec& clip);

// The number of distinct decoded video frames and the number of frames.
struct FrameCount {
    size_t distinct = 0;
    size_t total = 0;
};
FrameCount CountFrames(const std::string& video);
// The container's duration in seconds (0 when unknown).
double Duration(const std::string& video);
// The codec names of the video and audio streams ("" when absent).
std::string StreamCodec(const std::string& video, const char* kind /* "v" or "a" */);

// Writes an executable shell script (a stand-in program).
void WriteScript(const std::string& path, const std::string& body);

class RecordingWindow final : public IWindowReactions {
public:
    void sendMessage(WindowMessage, int64_t) override {}
    void setProgressPosition(int position) override;
    void setProgressMaximum(int maximum) override;
    void setStatusText(const std::string& text) override;
    void showBalloon(const Balloon&) override {}

    std::vector<int> positions() const;
    std::vector<std::string> texts() const;
    int maximum() const;

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_positions;
    std::vector<std::string> m_texts;
    int m_maximum = 0;
};

} // namespace quaylet::test
