#pragma once

// Every test process runs in a sandbox of its own: a fresh directory that
// holds its working directory and its HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR,
// XDG_STATE_HOME and TMPDIR, so no test ever touches the user's files. The
// test main sets it up before anything reads the environment.

#include <chrono>
#include <functional>
#include <string>

namespace quaylet::test {

// A bound on how long our own code may take, as the tests check it. The thread
// sanitizer makes instrumented code several times slower, and its suite runs
// two tests at a time on two cores: there the bound is widened, so that a
// check of a mechanism (a prompt stop) does not become a check of the
// sanitizer's speed. The other builds check the bound as it stands.
constexpr std::chrono::milliseconds TimeBound(std::chrono::milliseconds bound)
{
#if defined(__SANITIZE_THREAD__)
    return bound * 4;
#else
    return bound;
#endif
}

// The sandbox root, without a trailing '/'.
const std::string& SandboxDir();

// Paths inside the sandbox.
std::string SandboxPath(const std::string& relative);

// Writes bytes to a file, creating parent directories.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// True when something (a dangling link too) is at path.
bool PathExists(const std::string& path);

// Runs `body` in a forked child that, when this process runs as root (as in
// CI, where file modes do not bite), first hands the sandbox to the user
// "nobody" and drops to it, so permission cases behave as for a user. Returns
// the child's exit status: 0 when body returned true, 1 when it returned false,
// 2 when the rights could not be dropped.
int RunUnprivileged(const std::function<bool()>& body);

} // namespace quaylet::test
