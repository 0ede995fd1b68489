#pragma once

// The diagnostic log "Quaylet.log". Every subsystem writes through WriteLog
// with a level bit and a printf format; a line is written when its level
// shares a bit with the mask read from "LogMask" at OpenLog. Each line is
// "YYYY/MM/DD, hh:mm:ss -- " + message + CR LF, flushed before the call
// returns. The process's log also copies each line (ending in LF alone) to
// standard error when someone watches there: see LogMirrorWanted.
//
// Thread-safe: calls from the window, transfer and encoder-reader threads are
// serialised, and lines appear in the order the calls took the log.

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace quaylet {

enum LogLevel : int {
    LogMilestone = 1,    // milestones and failures
    LogConnectivity = 2, // connectivity warnings
    LogTrace = 4,        // begin/end of requests, replies, steps
};

class LogFile final {
public:
    static constexpr std::size_t kMessageBufferSize = 512;
    static constexpr uint32_t kDefaultMask = 7;
    static constexpr uint32_t kDefaultSizeLimit = 1000000;

    LogFile() = default;
    explicit LogFile(bool mirror) : m_mirror(mirror) {}
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Trims an old file larger than sizeLimit and opens the file for appending
    // (created readable by its owner only). When the file cannot be opened the
    // log keeps writing to standard error alone, when it is mirrored there.
    void open(const std::string& fileName, uint32_t mask, uint32_t sizeLimit);
    void write(int level, const char* format, va_list args);
    void setMirror(bool toStandardError);
    bool isFileOpen() const;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    mutable std::mutex m_mutex;
    uint32_t m_mask = 0; // nothing is written before open()
    bool m_mirror = false;
    std::unique_ptr<std::FILE, FileCloser> m_file;
    char m_message[kMessageBufferSize] = {};
};

// Whether the user asked for the log on standard error: QUAYLET_LOG_STDERR=1.
bool LogMirrorRequested();
// Whether the process's log starts out copied to standard error: when asked
// for, not when QUAYLET_LOG_STDERR is "0", and otherwise only when standard
// error is a terminal. A client started by a desktop
// launcher has its standard error in the session's journal, which must not
// collect the user's file names.
bool LogMirrorWanted();

// The process's log.
LogFile& ProcessLog();

// Opens the process's log with "LogMask" (default 7) and "LogSize" (default
// 1000000) from the settings store.
void OpenLog(const std::string& fileName);
void WriteLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void SetLogMirror(bool toStandardError);

} // namespace quaylet
