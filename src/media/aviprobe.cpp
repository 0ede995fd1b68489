#include "media/aviprobe.h"

#include "platform/uniquefd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quaylet {

namespace {

// Codes under which MPEG-4 Visual video is stored in AVI files.
constexpr std::array<const char*, 52> kMpeg4Codes = {
    "FMP4", "DIVX", "DX50", "XVID", "MP4S", "M4S2", "ZMP4", "DIV1", "BLZ0", "MP4V", "UMP4",
    "WV1F", "SEDG", "RMP4", "3IV2", "WAWV", "FFDS", "FVFW", "DCOD", "MVXM", "PM4V", "SMP4",
    "DXGM", "VIDM", "M4T3", "GEOX", "HDX4", "DM4V", "DMK2", "DIGI", "INMC", "EPHV", "EM4A",
    "M4CC", "SN40", "VSPX", "ULDX", "GEOV", "SIPP", "SM4V", "XVIX", "DREX", "QMP4", "PLV1",
    "GLV4", "GMP4", "MNM4", "GTM4", "DIV5", "DIV6", "3IVX", "DM4X"};

bool isMpeg4Code(const uint8_t* p)
{
    std::string code(reinterpret_cast<const char*>(p), 4);
    std::transform(code.begin(), code.end(), code.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return std::any_of(kMpeg4Codes.begin(), kMpeg4Codes.end(), [&](const char* c) { return code == c; });
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool is(const uint8_t* p, const char* tag)
{
    return std::memcmp(p, tag, 4) == 0;
}

// Walks the chunks in [begin, end); returns true when the first video stream is MPEG-4.
bool walk(const uint8_t* begin, const uint8_t* end, bool& inVideoStream, bool& sawVideo)
{
    const uint8_t* p = begin;
    while (end - p >= 8) {
        const uint32_t size = le32(p + 4);
        const uint8_t* body = p + 8;
        const uint8_t* bodyEnd = static_cast<uint32_t>(end - body) < size ? end : body + size;
        if (is(p, "LIST") && bodyEnd - body >= 4) {
            if (is(body, "hdrl") || is(body, "strl")) {
                if (is(body, "strl"))
                    inVideoStream = false;
                if (walk(body + 4, bodyEnd, inVideoStream, sawVideo))
                    return true;
                if (sawVideo)
                    return false;
            } else if (is(body, "movi")) {
                return false; // the headers are over
            }
        } else if (is(p, "strh") && bodyEnd - body >= 8) {
            inVideoStream = is(body, "vids");
            if (inVideoStream && isMpeg4Code(body + 4))
                return true;
        } else if (is(p, "strf") && inVideoStream) {
            sawVideo = true;
            // A BITMAPINFOHEADER: the compression code lies at offset 16.
            return bodyEnd - body >= 20 && isMpeg4Code(body + 16);
        }
        if (size > static_cast<uint32_t>(end - body))
            return false;
        p = body + size + (size & 1); // chunks are padded to even sizes
    }
    return false;
}

} // namespace

bool IsMpeg4VisualAvi(const std::string& path)
{
    // A FIFO or device could block the open or the read for good (a dropped
    // named pipe with no writer): only a regular file is looked at, and the
    // open itself never waits.
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // The header lists sit at the start; this covers them with room to spare.
    constexpr size_t kHeaderBytes = 256 * 1024;
    std::vector<uint8_t> data(kHeaderBytes);
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd.get(), data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    data.resize(got);
    if (data.size() < 12 || !is(data.data(), "RIFF") || !is(data.data() + 8, "AVI "))
        return false;
    bool inVideoStream = false, sawVideo = false;
    return walk(data.data() + 12, data.data() + data.size(), inVideoStream, sawVideo);
}

} // namespace quaylet
