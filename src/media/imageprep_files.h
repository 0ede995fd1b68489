#pragma once

// The files of photo preparation: a source is read whole, within the size
// limit and without blocking on a FIFO; a copy is written with mode 0600 and
// removed again unless it was written whole.

#include "media/imageprep.h"
#include "platform/uniquefd.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quaylet::imageprep {

using Bytes = std::vector<unsigned char>;

// A regular file opened for reading; invalid, with the reason, otherwise.
platform::UniqueFd OpenSourceFile(const std::string& path, std::string& error);

// The whole of an open file; refuses one larger than kMaxImageFileBytes.
bool ReadOpenFile(int fd, Bytes& bytes, std::string& error);

// A file being written: created or replaced with mode 0600, never through a
// link, and removed again unless finish() succeeds, so that no partly written
// file is left behind.
class OutputFile final {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(std::string& error);
    bool write(const unsigned char* data, std::size_t size, std::string& error);
    // Closes the file; false, with the file removed, when its data did not
    // reach the disk.
    bool finish(std::string& error);
    // Whether a write() failed: the disk, not the data, is at fault.
    bool writeFailed() const { return m_writeFailed; }

private:
    std::string m_path;
    int m_fd = -1; // open from open() until finish()
    bool m_writeFailed = false;
};

// Creates or replaces the file (mode 0600); a partly written file is removed.
bool WriteWholeFile(const std::string& path, const Bytes& bytes, std::string& error);

// The whole of a regular file.
bool ReadWholeFile(const std::string& path, Bytes& bytes, std::string& error);

} // namespace quaylet::imageprep
