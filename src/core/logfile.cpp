#include "core/logfile.h"

#include "core/settings.h"
#include "platform/utf8.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet {

namespace {

// A control character inside a message (a CR or LF in a file name, say) would
// break the line or forge another, so it is written as \xNN; every other byte,
// UTF-8 or not, is written as it is.
void appendEscaped(std::string& line, const char* message)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char* p = message; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F)
            line.append({'\\', 'x', kHex[c >> 4], kHex[c & 0xF]});
        else
            line.push_back(*p);
    }
}

} // namespace

void LogFile::open(const std::string& fileName, uint32_t mask, uint32_t sizeLimit)
{
    std::lock_guard lock(m_mutex);
    m_mask = mask;

    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > sizeLimit)
        ::unlink(fileName.c_str());

    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // A log left open to all (by an earlier version, a copy, a loose umask)
    // still names the user's files: it becomes the owner's alone.
    ::fchmod(fd, 0600);
    m_file.reset(::fdopen(fd, "ab"));
    if (!m_file)
        ::close(fd);
}

void LogFile::setMirror(bool toStandardError)
{
    std::lock_guard lock(m_mutex);
    m_mirror = toStandardError;
}

bool LogFile::isFileOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

void LogFile::write(int level, const char* format, va_list args)
{
    if (!format)
        return;
    std::lock_guard lock(m_mutex);
    if ((static_cast<uint32_t>(level) & m_mask) == 0)
        return;

    const int wanted = std::vsnprintf(m_message, sizeof m_message, format, args);
    if (wanted < 0)
        m_message[0] = '\0';
    else if (static_cast<std::size_t>(wanted) >= sizeof m_message)
        m_message[platform::Utf8CompletePrefix(std::string_view(m_message, sizeof m_message - 1))] = '\0';

    std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%04d/%02d/%02d, %02d:%02d:%02d -- ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);

    std::string line;
    line.reserve(std::strlen(prefix) + std::strlen(m_message) + 2);
    line.append(prefix);
    appendEscaped(line, m_message);
    line.append("\r\n");

    if (m_mirror) {
        // A terminal shows CR as a stray character.
        std::fwrite(line.data(), 1, line.size() - 2, stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    if (m_file) {
        std::fwrite(line.data(), 1, line.size(), m_file.get());
        std::fflush(m_file.get());
    }
}

namespace {
const char* MirrorRequest()
{
    return std::getenv("QUAYLET_LOG_STDERR");
}
} // namespace

bool LogMirrorRequested()
{
    const char* request = MirrorRequest();
    return request != nullptr && std::strcmp(request, "1") == 0;
}

bool LogMirrorWanted()
{
    if (LogMirrorRequested())
        return true;
    const char* request = MirrorRequest();
    if (request != nullptr && std::strcmp(request, "0") == 0)
        return false;
    return ::isatty(STDERR_FILENO) == 1;
}

LogFile& ProcessLog()
{
    static LogFile log(LogMirrorWanted());
    return log;
}

void OpenLog(const std::string& fileName)
{
    int32_t mask = GetSettingInt(kSettingsSection, "LogMask", -1);
    int32_t size = GetSettingInt(kSettingsSection, "LogSize", -1);
    ProcessLog().open(fileName, mask == -1 ? LogFile::kDefaultMask : static_cast<uint32_t>(mask),
                      size == -1 ? LogFile::kDefaultSizeLimit : static_cast<uint32_t>(size));
}

void WriteLog(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ProcessLog().write(level, format, args);
    va_end(args);
}

void SetLogMirror(bool toStandardError)
{
    ProcessLog().setMirror(toStandardError);
}

} // namespace quaylet
