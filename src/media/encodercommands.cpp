#include "media/encodercommands.h"

#include <algorithm>
#include <cctype>

namespace quaylet {

namespace {

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// A relative path that starts with '-' would read as an option.
std::string asArgument(const std::string& path)
{
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The encoder's image writer expands '%' sequences in the whole output name.
std::string escapePercent(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '%')
            out += '%';
        out += c;
    }
    return out;
}

} // namespace

ChildCommand FirstEncoderCommand(const std::string& source, const std::string& aviPath, bool premium,
                                bool mpeg4VisualAvi)
{
    const char* endPosition = premium ? "10:00" : "02:00";
    ChildCommand c;
    c.text = "mencoder " + quoted(source) + " -o " + quoted(aviPath) +
             " -ovc lavc -lavcopts vcodec=mjpeg:autoaspect -endpos " + endPosition + " -oac pcm";
    c.arguments = {"mencoder", asArgument(source), "-o", asArgument(aviPath), "-ovc", "lavc",
                   "-lavcopts", "vcodec=mjpeg:autoaspect", "-endpos", endPosition, "-oac", "pcm"};
    if (mpeg4VisualAvi) {
        c.text += " -demuxer lavf";
        c.arguments.insert(c.arguments.end(), {"-demuxer", "lavf"});
    }
    return c;
}

ChildCommand SecondEncoderCommand(const std::string& aviPath, const std::string& mp4Path, bool premium)
{
    const char* duration = premium ? "0:10:00.000" : "0:2:00.000";
    const char* bitRate = premium ? "600K" : "400K";
    ChildCommand c;
    c.text = "ffmpeg -y -i " + quoted(aviPath) + " -t " + duration +
             " -ab 56K -ar 22050 -acodec aac -b:v " + bitRate + " -r 15 -vcodec libx264 " +
             (premium ? " " : "") + "-f mp4 " + quoted(mp4Path);
    c.arguments = {"ffmpeg", "-y", "-i", asArgument(aviPath), "-t", duration, "-ab", "56K", "-ar", "22050",
                   "-acodec", "aac", "-b:v", bitRate, "-r", "15", "-vcodec", "libx264", "-f", "mp4",
                   asArgument(mp4Path)};
    return c;
}

ChildCommand MetadataCommand(const std::string& mp4Path)
{
    return {"flvmdi.exe " + quoted(mp4Path), {"flvmdi.exe", asArgument(mp4Path)}};
}

ChildCommand PreviewCommand(const std::string& video, const std::string& tempDir, int counter)
{
    const std::string name = lower("moviepreview_0" + std::to_string(counter) + "_%d.jpg");
    ChildCommand c;
    c.text = lower("ffmpeg -y -ss 0:0:2 -i ") + quoted(video) + lower(" -f image2 -vframes 1 ") +
             quoted(tempDir + name);
    c.arguments = {"ffmpeg", "-y", "-ss", "0:0:2", "-i", asArgument(video), "-f", "image2", "-vframes", "1",
                   escapePercent(tempDir) + name};
    return c;
}

} // namespace quaylet
