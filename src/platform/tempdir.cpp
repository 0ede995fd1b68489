#include "platform/tempdir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet::platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = ".lock";

// Makes root (mode 0700) or accepts it when it exists, is a real directory,
// belongs to us and is closed to others. Anything else could let another user
// plant or read our prepared files.
bool ensurePrivateRoot(const std::string& root, std::string& error)
{
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + root + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(root.c_str(), &st) != 0) {
        error = "cannot inspect " + root + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        error = root + " is not a private directory of this user";
        return false;
    }
    return true;
}

// The creator makes the lock file; a sweeper only opens an existing one, so a
// directory that is being created (no lock file yet) is never swept.
UniqueFd lockDirectory(const std::string& dir, bool create)
{
    const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    UniqueFd fd(::open((dir + "/" + kLockName).c_str(), flags, 0600));
    if (!fd.valid())
        return {};
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    return fd;
}

} // namespace

std::string tempBaseDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

std::string UserPrivateDir(const std::string& baseDir, std::string& error)
{
    const std::string root = baseDir + "/quaylet-" + std::to_string(::getuid());
    return ensurePrivateRoot(root, error) ? root : std::string();
}

PrivateTempDir::PrivateTempDir(const std::string& baseDir)
{
    const std::string root = UserPrivateDir(baseDir, m_error);
    if (root.empty())
        return;
    sweepStale(root);

    std::string pattern = root + "/p" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        m_error = "cannot create a directory in " + root + ": " + std::strerror(errno);
        return;
    }
    m_lock = lockDirectory(pattern, true);
    if (!m_lock.valid()) {
        m_error = "cannot lock " + pattern;
        std::error_code ec;
        fs::remove_all(pattern, ec);
        return;
    }
    m_path = pattern + "/";
}

PrivateTempDir::~PrivateTempDir()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

void PrivateTempDir::sweepStale(const std::string& root)
{
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_directory(ec) || it->is_symlink(ec))
            continue;
        const std::string dir = it->path().string();
        // A directory whose lock we can take belongs to a process that has ended.
        UniqueFd lock = lockDirectory(dir, false);
        if (lock.valid())
            fs::remove_all(dir, ec);
        ec.clear();
    }
}

const std::string& TempPath()
{
    static PrivateTempDir dir(tempBaseDir());
    return dir.path();
}

} // namespace quaylet::platform
