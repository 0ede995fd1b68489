#include "support/sandbox.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quaylet::test {

namespace fs = std::filesystem;

namespace {
std::string makeSandbox()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quaylet-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create the test sandbox");
    for (const char* sub : {"config", "home", "runtime", "state", "tmp", "work"})
        fs::create_directories(pattern + "/" + sub);
    fs::permissions(pattern + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    // A home of its own: nothing may read the user's browser profiles or
    // desktop files.
    ::setenv("HOME", (pattern + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (pattern + "/runtime").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (pattern + "/state").c_str(), 1);
    ::setenv("TMPDIR", (pattern + "/tmp").c_str(), 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ::unsetenv("QUAYLET_SERVICE_URL");
    // Nor may anything reach the user's keyring: the password stays in the
    // settings file unless a test starts a keyring of its own.
    ::setenv("QUAYLET_CREDENTIAL_STORE", "file", 1);
    if (::chdir((pattern + "/work").c_str()) != 0)
        throw std::runtime_error("cannot enter the test sandbox");
    return pattern;
}
} // namespace

const std::string& SandboxDir()
{
    static const std::string dir = makeSandbox();
    return dir;
}

std::string SandboxPath(const std::string& relative)
{
    return SandboxDir() + "/" + relative;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    const fs::path p(path);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

int RunUnprivileged(const std::function<bool()>& body)
{
    const passwd* nobody = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (::getuid() == 0) {
        if (!nobody)
            return 2;
        std::error_code ec;
        ::chown(SandboxDir().c_str(), nobody->pw_uid, nobody->pw_gid);
        for (const auto& entry : fs::recursive_directory_iterator(SandboxDir(), ec))
            ::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid);
    }
    const pid_t child = ::fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        if (nobody && (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                       ::setuid(nobody->pw_uid) != 0))
            ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return 2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

} // namespace quaylet::test
