#include "media/progressparser.h"

#include "core/logfile.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quaylet {

namespace {

const char* firstDigit(const char* p)
{
    while (*p && !std::isdigit(static_cast<unsigned char>(*p)))
        ++p;
    return *p ? p : nullptr;
}

// Cuts the text at the end of the word that starts at `word` (its first blank),
// or earlier at `stop` when that character comes first.
void cutAfterWord(std::string& text, size_t word, char stop = '\0')
{
    size_t end = text.find(' ', word);
    if (stop != '\0') {
        const size_t s = text.find(stop, word);
        if (s != std::string::npos && (end == std::string::npos || s < end))
            end = s;
    }
    if (end != std::string::npos)
        text.resize(end);
}

// Reads "h:m:s." from p: three numbers, the way atoi reads them, separated by
// ':' and ':'. The fraction after the seconds is ignored. Nothing when the
// separators are not there ("N/A" and the like).
std::optional<uint32_t> readClock(const char* p, const char* end)
{
    const char* c1 = std::strchr(p, ':');
    if (!c1 || c1 >= end)
        return std::nullopt;
    const char* c2 = std::strchr(c1 + 1, ':');
    if (!c2 || c2 >= end)
        return std::nullopt;
    const auto h = static_cast<uint32_t>(std::atoi(p));
    const auto m = static_cast<uint32_t>(std::atoi(c1 + 1));
    const auto s = static_cast<uint32_t>(std::atoi(c2 + 1));
    return h * 3600u + m * 60u + s;
}

std::vector<std::string> splitAtBlanks(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

} // namespace

std::optional<uint32_t> ParseProgressChunk(ProgressState& state, std::string text)
{
    // A chunk may carry a zero byte of the child's own; like a C string, it ends there.
    text.resize(std::strlen(text.c_str()));
    std::optional<uint32_t> percent;
    const auto span = static_cast<uint32_t>(state.span);
    const auto base = static_cast<uint32_t>(state.base);

    // 1. A frame total announced by the encoder.
    if (text.find("ENC_START") != std::string::npos) {
        if (const char* d = firstDigit(text.c_str())) {
            if (const char* blank = std::strchr(d, ' ')) {
                while (*blank == ' ')
                    ++blank;
                state.frameTotal = std::atoi(blank);
            }
        }
    }

    // 2. The first encoder's position line: "Pos: 30.0s 750f (99%) ...".
    if (const size_t at = text.find("Pos"); at != std::string::npos) {
        const size_t close = text.find(')', at);
        const auto words = splitAtBlanks(text.substr(at, close == std::string::npos ? std::string::npos : close - at));
        if (words.size() >= 3)
            state.frameTotal = std::atoi(words[2].c_str());
        if (words.size() >= 2 && !words[1].empty()) {
            const std::string& w = words[1];
            double unit = 0;
            switch (w.back()) {
            case 'h': unit = 3600; break;
            case 'm': unit = 60; break;
            case 's': unit = 1; break;
            default: break;
            }
            // A position beyond int's range, or not a number, gives none: the
            // old conversion made it negative.
            const double position = std::atof(w.c_str()) * unit;
            const int seconds = position >= 1 && position < 2147483648.0 ? static_cast<int>(position) : 0;
            if (seconds > 0 && state.positionLimit > 0)
                percent = span * static_cast<uint32_t>(seconds) / static_cast<uint32_t>(state.positionLimit) + base;
        }
        cutAfterWord(text, at, ')');
    }

    // 3. A frame count.
    size_t frames = text.find("PROGRESS");
    if (frames == std::string::npos)
        frames = text.find("frame=");
    if (frames != std::string::npos) {
        if (const char* d = firstDigit(text.c_str() + frames)) {
            const auto n = static_cast<uint32_t>(std::atoi(d));
            if (state.frameTotal > 0)
                percent = span * n / static_cast<uint32_t>(state.frameTotal) + base;
        }
    }

    // 4. The second encoder names its input.
    if (text.find("temp_video.avi") != std::string::npos) {
        state.secondEncoder = true;
        WriteLog(LogTrace, "ffmpeg encoding detected.");
    }

    // 5. The second encoder's duration and time.
    if (state.secondEncoder) {
        if (const size_t at = text.find("Duration:"); at != std::string::npos) {
            const size_t comma = text.find(',', at);
            const char* start = text.c_str() + at + std::strlen("Duration:");
            const char* end = comma == std::string::npos ? text.c_str() + text.size() : text.c_str() + comma;
            if (const auto d = readClock(start, end))
                state.clipDuration = static_cast<int32_t>(*d);
            text.resize(at + std::strlen("Duration:"));
        }
        if (const size_t at = text.find("time="); at != std::string::npos) {
            if (const char* d = firstDigit(text.c_str() + at + 5)) {
                const auto t = readClock(d, text.c_str() + text.size());
                if (t && state.clipDuration > 0)
                    percent = span * *t / static_cast<uint32_t>(state.clipDuration) + base;
            }
        }
    }
    return percent;
}

} // namespace quaylet
