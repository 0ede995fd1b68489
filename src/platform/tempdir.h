#pragma once

// The private temporary directory of this process: $TMPDIR (or /tmp) +
// /quaylet-<uid>/ + a directory of its own. Prepared photos, converted videos
// and downloaded pictures live there under fixed names, so two running
// processes must never share one. The per-process directory is held with an
// flock while the process runs; a later start sweeps directories whose lock is
// free (their process is gone).

#include "platform/uniquefd.h"

#include <string>

namespace quaylet::platform {

class PrivateTempDir final {
public:
    // Creates (or refuses) the directory under the given base directory.
    explicit PrivateTempDir(const std::string& baseDir);
    ~PrivateTempDir(); // removes the directory and everything in it
    PrivateTempDir(const PrivateTempDir&) = delete;
    PrivateTempDir& operator=(const PrivateTempDir&) = delete;

    bool valid() const { return !m_path.empty(); }
    // The directory with a trailing '/', or empty when it could not be made safely.
    const std::string& path() const { return m_path; }
    // Why the directory could not be made, for the log.
    const std::string& error() const { return m_error; }

    // Removes per-process directories under root whose lock is free.
    static void sweepStale(const std::string& root);

private:
    std::string m_path;
    std::string m_error;
    UniqueFd m_lock;
};

// The base directory taken from the environment: $TMPDIR or /tmp.
std::string tempBaseDir();

// The user's private folder baseDir + /quaylet-<uid> (no trailing '/'), made
// with mode 0700 when missing. Empty, with the reason in error, when it exists
// but is not a directory of this user closed to others.
std::string UserPrivateDir(const std::string& baseDir, std::string& error);

// The process's private temporary directory with a trailing '/', made on
// first use and removed at a clean exit; empty when it cannot be made safely.
const std::string& TempPath();

} // namespace quaylet::platform
