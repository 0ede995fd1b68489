#include "platform/curlsupport.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace quaylet::platform::detail {

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void AllowWebProtocolsOnly(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

void ApplyTrust(CURL* easy)
{
    const char* bundle = std::getenv(kCaBundleVariable);
    if (bundle != nullptr && *bundle != '\0')
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
}

std::string NoProxyList(const std::string& bypass)
{
    std::string list = kLoopbackNoProxy;
    if (!bypass.empty())
        list += "," + bypass;
    return list;
}

InternetError MakeError(InternetFailure failure, int code, std::string message)
{
    return InternetError{failure, code, std::move(message)};
}

InternetError FromCurl(CURLcode rc, const char* detail, bool connected)
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

bool ConnectedYet(CURL* easy)
{
    curl_off_t t = 0;
    return curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &t) == CURLE_OK && t > 0;
}

Clock::time_point OverallDeadline(const InternetTimeouts& timeouts, uint64_t bodyBytes, uint64_t sendRateLimit)
{
    uint64_t rate = std::max<uint64_t>(timeouts.slowestBodyRate, 1);
    // The limit is an average that a link just able to carry it falls short
    // of now and then: a quarter below it is still a live upload.
    if (sendRateLimit != 0)
        rate = std::min(rate, std::max<uint64_t>(sendRateLimit - sendRateLimit / 4, 1));
    const auto bodyTime = std::chrono::milliseconds(static_cast<int64_t>(std::min<uint64_t>(
        bodyBytes * 1000 / rate, static_cast<uint64_t>(std::chrono::milliseconds::max().count() / 4))));
    return Clock::now() + timeouts.overall + bodyTime;
}

std::size_t UploadBufferUnderLimit(std::size_t wanted, uint64_t sendRateLimit)
{
    constexpr std::size_t kLibcurlDefault = 64 * 1024;
    constexpr std::size_t kLibcurlLeast = 16 * 1024;
    if (sendRateLimit == 0)
        return wanted;
    const auto quarterSecond = static_cast<std::size_t>(std::min<uint64_t>(sendRateLimit / 4, SIZE_MAX));
    return std::min(wanted != 0 ? wanted : kLibcurlDefault, std::max(kLibcurlLeast, quarterSecond));
}

bool Driver::attach(CURL* easy)
{
    m_multi.reset(curl_multi_init());
    if (!m_multi || curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK)
        return false;
    m_easy = easy;
    return true;
}

void Driver::detach()
{
    if (m_multi && m_easy != nullptr)
        curl_multi_remove_handle(m_multi.get(), m_easy);
    m_easy = nullptr;
    m_multi.reset();
}

Driver::Outcome Driver::run(const std::function<bool()>& reached, const AbortCheck& abort, const RunBounds& bounds,
                            InternetError& error)
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
        const CURLMcode pc = curl_multi_poll(m_multi.get(), nullptr, 0, static_cast<int>(wait.count()), &fds);
        if (pc != CURLM_OK) {
            error = MakeError(InternetFailure::Other, static_cast<int>(pc), curl_multi_strerror(pc));
            return Outcome::Failed;
        }
    }
}

void Driver::collect()
{
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi.get(), &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy) {
            m_done = true;
            m_result = msg->data.result;
        }
    }
}

void TransferSockets::watch(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &TransferSockets::onOpen);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &TransferSockets::onClose);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
}

curl_socket_t TransferSockets::onOpen(void* self, curlsocktype, curl_sockaddr* address)
{
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd >= 0)
        static_cast<TransferSockets*>(self)->m_open.push_back(fd);
    return fd >= 0 ? fd : CURL_SOCKET_BAD;
}

int TransferSockets::onClose(void* self, curl_socket_t fd)
{
    auto& open = static_cast<TransferSockets*>(self)->m_open;
    open.erase(std::remove(open.begin(), open.end(), fd), open.end());
    return ::close(fd);
}

} // namespace quaylet::platform::detail
