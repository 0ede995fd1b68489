#include "clips.h"

#include "platform/childprocess.h"

#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet::test {

bool RunTool(const std::vector<std::string>& argv, std::string* output)
{
    std::string outPath = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) +
                          "/tool-output-XXXXXX";
    const int fd = ::mkstemp(outPath.data());
    if (fd < 0)
        return false;
    bool ok = false;
    {
        platform::ChildProcess child;
        if (child.start(argv, {-1, fd, -1}) == 0) {
            const auto status = child.waitExit();
            ok = status && platform::ChildProcess::exitedCleanly(*status);
        }
    }
    ::close(fd);
    if (output) {
        std::ifstream in(outPath);
        std::stringstream ss;
        ss << in.rdbuf();
        *output = ss.str();
    }
    ::unlink(outPath.c_str());
    return ok;
}

bool MakeClip(const ClipSpec& clip)
{
    const std::string seconds = std::to_string(clip.seconds);
    std::vector<std::string> argv{"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                  "testsrc=size=" + std::to_string(clip.width) + "x" +
                                      std::to_string(clip.height) + ":rate=" + std::to_string(clip.rate) +
                                      ":duration=" + seconds};
    if (clip.sound)
        argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=" + seconds});
    argv.insert(argv.end(), clip.codecArgs.begin(), clip.codecArgs.end());
    argv.push_back(clip.path);
    return RunTool(argv);
}

FrameCount CountFrames(const std::string& video)
{
    std::string out;
    RunTool({"ffmpeg", "-v", "error", "-i", video, "-map", "0:v", "-f", "framemd5", "-"}, &out);
    FrameCount count;
    std::set<std::string> hashes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++count.total;
        hashes.insert(line.substr(line.rfind(',') + 1));
    }
    count.distinct = hashes.size();
    return count;
}

double Duration(const std::string& video)
{
    std::string out;
    RunTool({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", video}, &out);
    return std::atof(out.c_str());
}

std::string StreamCodec(const std::string& video, const char* kind)
{
    std::string out;
    RunTool({"ffprobe", "-v", "error", "-select_streams", kind, "-show_entries", "stream=codec_name", "-of",
             "csv=p=0", video},
            &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out.substr(0, out.find('\n'));
}

void WriteScript(const std::string& path, const std::string& body)
{
    std::ofstream out(path, std::ios::trunc);
    out << "#!/bin/sh\n" << body << "\n";
    out.close();
    ::chmod(path.c_str(), 0755);
}

void RecordingWindow::setProgressPosition(int position)
{
    std::lock_guard lock(m_mutex);
    m_positions.push_back(position);
}

void RecordingWindow::setProgressMaximum(int maximum)
{
    std::lock_guard lock(m_mutex);
    m_maximum = maximum;
}

void RecordingWindow::setStatusText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

std::vector<int> RecordingWindow::positions() const
{
    std::lock_guard lock(m_mutex);
    return m_positions;
}

std::vector<std::string> RecordingWindow::texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

int RecordingWindow::maximum() const
{
    std::lock_guard lock(m_mutex);
    return m_maximum;
}

} // namespace quaylet::test
