#pragma once

// The weekly update check's fetch: reads the service's version file and
// compares the version in it with the program's own.

#include "core/version.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

class CUpdateCheck {
    Q_DISABLE_COPY_MOVE(CUpdateCheck)

public:
    // ownVersion: the program's four version parts; nothing when they cannot
    // be read, and then no check is made.
    explicit CUpdateCheck(std::optional<std::array<int, 4>> ownVersion = GetOwnVersion());
    virtual ~CUpdateCheck();

    // Fetches the version file at `address` (http or https) and answers 1 when
    // it names a newer version than the own one, 0 otherwise (also when the
    // file cannot be fetched). Both versions come out packed as far as they
    // were found. Blocks for the exchange, so never call it on the window
    // thread; the calling thread's internet abort check ends it early.
    virtual int CheckForUpdate(const std::string& address, uint32_t& ownVersion, uint32_t& webVersion);

    // Where the newer version can be downloaded; empty until a check found one.
    const std::string& downloadAddress() const { return m_downloadAddress; }

    static constexpr const char* kAgent = "Update search";
    // The file is short; only its first bytes are ever read.
    static constexpr std::size_t kReadSize = 512;

private:
    const std::optional<std::array<int, 4>> m_ownVersion;
    std::string m_downloadAddress;
};

// One check's outcome, gathered where it was made for the thread that shows it.
struct UpdateCheckAnswer {
    int result = 0; // CheckForUpdate's: 1 when a newer version exists
    uint32_t ownVersion = 0;
    uint32_t webVersion = 0;
    std::string downloadAddress; // set when result is 1
};

// Runs check.CheckForUpdate(address, ...); never throws (a failure answers 0).
UpdateCheckAnswer RunUpdateCheck(CUpdateCheck& check, const std::string& address);

} // namespace quaylet
