#include "support/sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
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
    for (const char* sub : {"config", "runtime", "state", "tmp", "work"})
        fs::create_directories(pattern + "/" + sub);
    fs::permissions(pattern + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (pattern + "/runtime").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (pattern + "/state").c_str(), 1);
    ::setenv("TMPDIR", (pattern + "/tmp").c_str(), 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ::unsetenv("QUAYLET_SERVICE_URL");
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

} // namespace quaylet::test
