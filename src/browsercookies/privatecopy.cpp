#include "browsercookies/privatecopy.h"

#include "browsercookies/sqlitereader.h"
#include "platform/tempdir.h"
#include "platform/uniquefd.h"
#include "platform/writeall.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet::browsercookies {

using platform::TempPath;
using platform::UniqueFd;
using platform::WriteAll;

namespace {

// A failed read of a copy is tried once more on a fresh copy.
constexpr int kCopyAttempts = 2;

// Every file SQLite may keep beside a database.
constexpr const char* kSideSuffixes[] = {"-wal", "-journal", "-shm"};

enum class Copied { Done, Missing, Failed };

Copied CopyInto(const std::string& source, int target)
{
    // Without O_NONBLOCK a FIFO put in place of a side file would stall the
    // caller until someone writes to it; only regular files are copied.
    const UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.valid())
        return errno == ENOENT ? Copied::Missing : Copied::Failed;
    struct stat status {};
    if (::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return Copied::Failed;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Copied::Failed;
        if (n == 0)
            return Copied::Done;
        if (!WriteAll(target, std::string_view(buffer, static_cast<std::size_t>(n))))
            return Copied::Failed;
    }
}

Copied CopyFile(const std::string& source, const std::string& target)
{
    const UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid())
        return Copied::Failed;
    const Copied result = CopyInto(source, out.get());
    if (result != Copied::Done)
        ::unlink(target.c_str());
    return result;
}

} // namespace

PrivateDatabaseCopy::PrivateDatabaseCopy(const std::string& databasePath)
{
    if (TempPath().empty())
        return;
    std::string name = TempPath() + "cookiesXXXXXX";
    const UniqueFd out(::mkstemp(name.data()));
    if (!out.valid())
        return;
    m_path = name;
    bool copied = CopyInto(databasePath, out.get()) == Copied::Done;
    // A side file that is missing is normal; one that cannot be read would
    // leave a copy that disagrees with the browser's view.
    for (const char* suffix : {"-wal", "-journal"})
        copied = copied && CopyFile(databasePath + suffix, m_path + suffix) != Copied::Failed;
    if (!copied)
        removeFiles();
}

PrivateDatabaseCopy::~PrivateDatabaseCopy()
{
    removeFiles();
}

void PrivateDatabaseCopy::removeFiles()
{
    if (m_path.empty())
        return;
    for (const char* suffix : kSideSuffixes)
        ::unlink((m_path + suffix).c_str());
    ::unlink(m_path.c_str());
    m_path.clear();
}

bool ReadPrivateCopy(const std::string& databasePath, const std::function<bool(const SqliteReader&)>& read)
{
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        const PrivateDatabaseCopy copy(databasePath);
        if (copy.path().empty())
            return false;
        const SqliteReader db(copy.path());
        if (db.valid() && read(db))
            return true;
    }
    return false;
}

} // namespace quaylet::browsercookies
