#pragma once

// Internal to the platform library: what the internet layer's request,
// connection check and download share on top of libcurl. Nothing outside
// src/platform includes this.

#include "platform/asciitext.h"
#include "platform/internet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace quaylet::platform::detail {

using Clock = std::chrono::steady_clock;

// Loopback is never sent through a proxy: the development service and the
// tests run there, and a desktop's proxy cannot reach them.
constexpr const char* kLoopbackNoProxy = "127.0.0.1,localhost,::1";

// Reply bytes buffered beyond this make libcurl pause receiving until the
// caller reads, so a huge reply never piles up in memory.
constexpr std::size_t kReceiveHighWater = 256 * 1024;

inline void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Addresses come from the service too (the notification picture, redirects),
// so a transfer may speak only the two web protocols: a "file://" or
// "dict://" address must never reach a local file or another kind of server.
inline void AllowWebProtocolsOnly(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

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

inline std::string NoProxyList(const std::string& bypass)
{
    std::string list = kLoopbackNoProxy;
    if (!bypass.empty())
        list += "," + bypass;
    return list;
}

inline InternetError MakeError(InternetFailure failure, int code, std::string message)
{
    return InternetError{failure, code, std::move(message)};
}

inline InternetError FromCurl(CURLcode rc, const char* detail, bool connected)
{
    InternetFailure f = InternetFailure::Other;
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        f = InternetFailure::Resolve;
        break;
    case CURLE_COULDNT_CONNECT:
        f = InternetFailure::Connect;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        f = connected ? InternetFailure::TimedOut : InternetFailure::Connect;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        f = InternetFailure::Tls;
        break;
    case CURLE_SEND_ERROR:
        f = InternetFailure::Send;
        break;
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        f = InternetFailure::Receive;
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        f = InternetFailure::Aborted;
        break;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        f = InternetFailure::BadArgument;
        break;
    default:
        break;
    }
    std::string msg = curl_easy_strerror(rc);
    if (detail != nullptr && *detail != '\0')
        msg += std::string(": ") + detail;
    return MakeError(f, static_cast<int>(rc), std::move(msg));
}

inline bool ConnectedYet(CURL* easy)
{
    curl_off_t t = 0;
    return curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &t) == CURLE_OK && t > 0;
}

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
// for a live link.
inline Clock::time_point OverallDeadline(const InternetTimeouts& timeouts, uint64_t bodyBytes)
{
    const uint64_t rate = std::max<uint64_t>(timeouts.slowestBodyRate, 1);
    const auto bodyTime = std::chrono::milliseconds(static_cast<int64_t>(std::min<uint64_t>(
        bodyBytes * 1000 / rate, static_cast<uint64_t>(std::chrono::milliseconds::max().count() / 4))));
    return Clock::now() + timeouts.overall + bodyTime;
}

// Drives one easy handle inside its own multi handle until `reached` answers
// true, the transfer ends, the abort check fires, no byte moves for too long
// or the overall deadline passes. Progress is reported by the callbacks
// through markProgress(); the progress clock runs across calls, so a caller
// that drives a transfer in short slices is still held to the no-progress
// limit, and each whole blocking call restarts it first.
class Driver {
public:
    Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    ~Driver() { detach(); }

    bool attach(CURL* easy)
    {
        m_multi.reset(curl_multi_init());
        if (!m_multi || curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK)
            return false;
        m_easy = easy;
        return true;
    }
    void detach()
    {
        if (m_multi && m_easy != nullptr)
            curl_multi_remove_handle(m_multi.get(), m_easy);
        m_easy = nullptr;
        m_multi.reset();
    }
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

    template <typename Pred>
    Outcome run(Pred reached, const AbortCheck& abort, const RunBounds& bounds, InternetError& error)
    {
        for (;;) {
            int running = 0;
            const CURLMcode mc = curl_multi_perform(m_multi.get(), &running);
            if (mc != CURLM_OK) {
                error = MakeError(InternetFailure::Other, static_cast<int>(mc), curl_multi_strerror(mc));
                return Outcome::Failed;
            }
            collect();
            if (reached())
                return Outcome::Reached;
            if (m_done)
                return Outcome::Done;
            if (abort && abort()) {
                error = MakeError(InternetFailure::Aborted, 0, "interrupted");
                return Outcome::Failed;
            }
            const auto now = Clock::now();
            if (now > bounds.deadline) {
                error = MakeError(InternetFailure::TimedOut, static_cast<int>(CURLE_OPERATION_TIMEDOUT),
                                  "the exchange did not end within its overall limit");
                return Outcome::Failed;
            }
            if (now > m_lastProgress + bounds.noProgress) {
                error = MakeError(InternetFailure::TimedOut, static_cast<int>(CURLE_OPERATION_TIMEDOUT),
                                  "no progress within " + std::to_string(bounds.noProgress.count()) + " ms");
                return Outcome::Failed;
            }
            if (now >= bounds.until)
                return Outcome::Reached;
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::min<Clock::duration>(kAbortPollInterval, bounds.until - now));
            wait = std::max(wait, std::chrono::milliseconds{1});
            int fds = 0;
            const CURLMcode pc =
                curl_multi_poll(m_multi.get(), nullptr, 0, static_cast<int>(wait.count()), &fds);
            if (pc != CURLM_OK) {
                error = MakeError(InternetFailure::Other, static_cast<int>(pc), curl_multi_strerror(pc));
                return Outcome::Failed;
            }
        }
    }

private:
    void collect()
    {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi.get(), &left)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy) {
                m_done = true;
                m_result = msg->data.result;
            }
        }
    }

    MultiPtr m_multi;
    CURL* m_easy = nullptr;
    bool m_done = false;
    CURLcode m_result = CURLE_OK;
    Clock::time_point m_lastProgress = Clock::now();
};

// The sockets libcurl has open for one transfer. CURLINFO_ACTIVESOCKET names
// none while a transfer of the multi interface runs, so the sockets are
// taken from libcurl's own open and close callbacks instead.
class TransferSockets {
public:
    TransferSockets() = default;
    TransferSockets(const TransferSockets&) = delete;
    TransferSockets& operator=(const TransferSockets&) = delete;

    void watch(CURL* easy)
    {
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &TransferSockets::onOpen);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &TransferSockets::onClose);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    }

    // The connection's socket once only one is left (while a connection is
    // being raced over several addresses, none).
    curl_socket_t active() const { return m_open.size() == 1 ? m_open.front() : CURL_SOCKET_BAD; }

private:
    static curl_socket_t onOpen(void* self, curlsocktype, curl_sockaddr* address)
    {
        const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (fd >= 0)
            static_cast<TransferSockets*>(self)->m_open.push_back(fd);
        return fd >= 0 ? fd : CURL_SOCKET_BAD;
    }
    static int onClose(void* self, curl_socket_t fd)
    {
        auto& open = static_cast<TransferSockets*>(self)->m_open;
        open.erase(std::remove(open.begin(), open.end(), fd), open.end());
        return ::close(fd);
    }

    std::vector<curl_socket_t> m_open;
};

// The abort check installed on this thread by ScopedInternetAbort, if any.
AbortCheck& ThreadAbortCheck();

} // namespace quaylet::platform::detail
