#include "platform/internet.h"

#include "platform/curlsupport.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

// The session and connection records, the default limits, the per-thread
// abort check and port parsing. Requests are in internetrequest.cpp.

namespace quaylet::platform {

using namespace detail;

namespace {
std::mutex g_defaultsMutex;
InternetTimeouts g_defaults;
// Set by the window thread, read wherever a session is made.
std::atomic<uint64_t> g_sendRateLimit{0};
thread_local AbortCheck t_abort;
} // namespace

AbortCheck& detail::ThreadAbortCheck()
{
    return t_abort;
}

// ---------------------------------------------------------------------------

InternetTimeouts DefaultInternetTimeouts()
{
    std::lock_guard lock(g_defaultsMutex);
    return g_defaults;
}

void SetDefaultInternetTimeouts(const InternetTimeouts& timeouts)
{
    std::lock_guard lock(g_defaultsMutex);
    g_defaults = timeouts;
}

uint64_t DefaultSendRateLimit()
{
    return g_sendRateLimit.load();
}

void SetDefaultSendRateLimit(uint64_t bytesPerSecond)
{
    g_sendRateLimit.store(bytesPerSecond);
}

ScopedInternetAbort::ScopedInternetAbort(AbortCheck check)
    : m_previous(std::exchange(t_abort, std::move(check)))
{
}

ScopedInternetAbort::~ScopedInternetAbort()
{
    t_abort = std::move(m_previous);
}

bool ThreadAbortRequested()
{
    return t_abort && t_abort();
}

const char* InternetFailureName(InternetFailure failure)
{
    switch (failure) {
    case InternetFailure::None: return "none";
    case InternetFailure::BadArgument: return "bad argument";
    case InternetFailure::Resolve: return "host not found";
    case InternetFailure::Connect: return "cannot connect";
    case InternetFailure::Tls: return "TLS failure";
    case InternetFailure::TimedOut: return "timed out";
    case InternetFailure::Send: return "send failed";
    case InternetFailure::Receive: return "receive failed";
    case InternetFailure::BodyIncomplete: return "body incomplete";
    case InternetFailure::Aborted: return "interrupted";
    case InternetFailure::File: return "file failure";
    case InternetFailure::HttpStatus: return "HTTP error status";
    case InternetFailure::Other: return "failure";
    }
    return "failure";
}

// ---------------------------------------------------------------------------

InternetSession::InternetSession(std::string agent)
    : m_agent(std::move(agent))
    , m_timeouts(DefaultInternetTimeouts())
    , m_sendRateLimit(DefaultSendRateLimit())
    , m_abort(t_abort)
{
    GlobalInit();
    if (m_agent.empty()) {
        m_agent = "Quaylet/" + std::to_string(QUAYLET_VERSION_MAJOR) + "." + std::to_string(QUAYLET_VERSION_MINOR) +
                  "." + std::to_string(QUAYLET_VERSION_PATCH) + "." + std::to_string(QUAYLET_VERSION_TWEAK);
    }
}

InternetSession::~InternetSession() = default;

void InternetSession::setProxy(std::string proxy, std::string bypass)
{
    m_proxy = std::move(proxy);
    m_bypass = std::move(bypass);
}

bool InternetSession::abortRequested() const
{
    return m_abort && m_abort();
}

// ---------------------------------------------------------------------------

InternetConnection::InternetConnection(InternetSession& session, std::string host, uint16_t port, bool secure)
    : m_session(session)
    , m_host(std::move(host))
    , m_port(port != 0 ? port : (secure ? 443 : 80))
    , m_secure(secure)
{
}

InternetConnection::~InternetConnection() = default;

void InternetConnection::setProxyAccount(std::string user, std::string password)
{
    m_proxyUser = std::move(user);
    m_proxyPassword = std::move(password);
}

std::string InternetConnection::origin() const
{
    const bool ipv6 = m_host.find(':') != std::string::npos && m_host.front() != '[';
    return std::string(m_secure ? "https://" : "http://") + (ipv6 ? "[" + m_host + "]" : m_host) + ":" +
           std::to_string(m_port);
}

std::optional<uint16_t> ParsePortNumber(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    uint32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + static_cast<uint32_t>(c - '0');
    }
    if (port > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

} // namespace quaylet::platform
