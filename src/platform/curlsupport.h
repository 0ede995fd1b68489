#pragma once

// Internal to the platform library: what the internet layer's request,
// connection check and download share on top of libcurl. Nothing outside
// src/platform includes this.

#include "platform/asciitext.h"
#include "platform/internet.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quaylet::platform::detail {

using Clock = std::chrono::steady_clock;

// Loopback is never sent through a proxy: the development service and the
// tests run there, and a desktop's proxy cannot reach them.
constexpr const char* kLoopbackNoProxy = "127.0.0.1,localhost,::1";

// Reply bytes buffered beyond this make libcurl pause receiving until the
// caller reads, so a huge reply never piles up in memory.
constexpr std::size_t kReceiveHighWater = 256 * 1024;

// Names a file of CA certificates trusted instead of the system's, for a
// development service with a certificate of its own.
constexpr const char* kCaBundleVariable = "QUAYLET_CA_BUNDLE";

void GlobalInit();

// Addresses come from the service too (the notification picture, redirects),
// so a transfer may speak only the two web protocols: a "file://" or
// "dict://" address must never reach a local file or another kind of server.
void AllowWebProtocolsOnly(CURL* easy);

// The certificates a TLS peer is checked against: the system's, or the file
// named by kCaBundleVariable.
void ApplyTrust(CURL* easy);

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

using platform::EqualsNoCase;
using platform::Trim;

std::string NoProxyList(const std::string& bypass);

InternetError MakeError(InternetFailure failure, int code, std::string message);
InternetError FromCurl(CURLcode rc, const char* detail, bool connected);

bool ConnectedYet(CURL* easy);

// How long one blocking call of the driver may go on.
struct RunBounds {
    // Fails the call when no byte has moved for this long (see
    // Driver::restartProgressClock for the allowance before the first byte).
    std::chrono::milliseconds noProgress{30000};
    // The overall limit of the whole exchange: fails the call once passed.
    Clock::time_point deadline = Clock::time_point::max();
    // The call returns (not failed) once this has passed, so that a caller
    // can look up from a long transfer now and then.
    Clock::time_point until = Clock::time_point::max();
};

// The overall limit of an exchange that starts now with a body of this many
// bytes: the fixed allowance plus the body at the slowest rate still taken
// for a live link, which a send rate limit (bytes per second, 0: none) may
// lower to a little under itself.
Clock::time_point OverallDeadline(const InternetTimeouts& timeouts, uint64_t bodyBytes, uint64_t sendRateLimit = 0);

// The upload buffer to give libcurl under a send rate limit, for a caller
// that wanted `wanted` bytes (0: libcurl's default). libcurl hands the link a
// whole buffer at once and then waits until the average is back under the
// limit, so a buffer of about a quarter second at the limit keeps the bytes,
// and the progress shown, moving evenly.
std::size_t UploadBufferUnderLimit(std::size_t wanted, uint64_t sendRateLimit);

// Drives one easy handle inside its own multi handle until `reached` answers
// true, the transfer ends, the abort check fires, no byte moves for too long
// or the overall deadline passes. Progress is reported by the callbacks
// through markProgress(); the progress clock runs across calls, so a caller
// that drives a transfer in short slices is still held to the no-progress
// limit, and each whole blocking call restarts it first.
class Driver final {
public:
    Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    ~Driver() { detach(); }

    bool attach(CURL* easy);
    void detach();
    bool attached() const { return m_easy != nullptr; }

    // grace: extra time allowed before the first byte moves (the connection).
    void restartProgressClock(std::chrono::milliseconds grace = std::chrono::milliseconds{0})
    {
        m_lastProgress = Clock::now() + grace;
    }
    void markProgress() { m_lastProgress = std::max(m_lastProgress, Clock::now()); }
    bool done() const { return m_done; }
    CURLcode result() const { return m_result; }

    enum class Outcome { Reached, Done, Failed };

    Outcome run(const std::function<bool()>& reached, const AbortCheck& abort, const RunBounds& bounds,
                InternetError& error);

private:
    void collect();

    MultiPtr m_multi;
    CURL* m_easy = nullptr;
    bool m_done = false;
    CURLcode m_result = CURLE_OK;
    Clock::time_point m_lastProgress = Clock::now();
};

// The sockets libcurl has open for one transfer. CURLINFO_ACTIVESOCKET names
// none while a transfer of the multi interface runs, so the sockets are
// taken from libcurl's own open and close callbacks instead.
class TransferSockets final {
public:
    TransferSockets() = default;
    TransferSockets(const TransferSockets&) = delete;
    TransferSockets& operator=(const TransferSockets&) = delete;

    void watch(CURL* easy);

    // The connection's socket once only one is left (while a connection is
    // being raced over several addresses, none).
    curl_socket_t active() const { return m_open.size() == 1 ? m_open.front() : CURL_SOCKET_BAD; }

private:
    static curl_socket_t onOpen(void* self, curlsocktype, curl_sockaddr* address);
    static int onClose(void* self, curl_socket_t fd);

    std::vector<curl_socket_t> m_open;
};

// The abort check installed on this thread by ScopedInternetAbort, if any.
AbortCheck& ThreadAbortCheck();

} // namespace quaylet::platform::detail
