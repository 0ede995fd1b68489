#include "media/imageprep_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quaylet::imageprep {

platform::UniqueFd OpenSourceFile(const std::string& path, std::string& error)
{
    // O_NONBLOCK keeps a FIFO with a photo's name from blocking the open.
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return {};
    }
    return fd;
}

bool ReadOpenFile(int fd, Bytes& bytes, std::string& error)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::string("cannot inspect: ") + std::strerror(errno);
        return false;
    }
    if (st.st_size > kMaxImageFileBytes) {
        error = "file larger than the limit";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0)
            break; // the file shrank meanwhile: decode what is there
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return true;
}

OutputFile::OutputFile(std::string path) : m_path(std::move(path)) {}

OutputFile::~OutputFile()
{
    if (m_fd >= 0) { // opened but never finished
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

bool OutputFile::open(std::string& error)
{
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        error = "cannot create " + m_path + ": " + std::strerror(errno);
        m_fd = -1;
        return false;
    }
    return true;
}

bool OutputFile::write(const unsigned char* data, std::size_t size, std::string& error)
{
    if (m_fd < 0) {
        error = "cannot write " + m_path + ": not open";
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write " + m_path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            m_writeFailed = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::finish(std::string& error)
{
    if (m_fd < 0) {
        error = "cannot write " + m_path + ": not open";
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        ::unlink(m_path.c_str());
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes, std::string& error)
{
    OutputFile file(path);
    return file.open(error) && file.write(bytes.data(), bytes.size(), error) && file.finish(error);
}

bool ReadWholeFile(const std::string& path, Bytes& bytes, std::string& error)
{
    platform::UniqueFd fd = OpenSourceFile(path, error);
    return fd.valid() && ReadOpenFile(fd.get(), bytes, error);
}

} // namespace quaylet::imageprep
