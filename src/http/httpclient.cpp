// CHttpClientT: construction, settings and the connection operations.

#include "http/httpclient.h"

#include "http/errors.h"
#include "http/urlanalyzer.h"

#include <new>

namespace Velto {

namespace {

bool isHttps(std::string_view scheme)
{
    if (scheme.size() != 5)
        return false;
    static constexpr char kHttps[] = "https";
    for (std::size_t i = 0; i < 5; ++i) {
        char c = scheme[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kHttps[i])
            return false;
    }
    return true;
}

const char* orNull(const std::optional<std::string>& text)
{
    return text ? text->c_str() : nullptr;
}

} // namespace

CHttpClientT::CHttpClientT()
{
    try {
        if (auto boundary = CHttpToolA::CreateBoundary()) {
            m_boundary = std::move(*boundary);
            m_contentType = "multipart/form-data; boundary=" + m_boundary;
        }
    } catch (...) {
        m_boundary.clear();
    }
    if (m_boundary.empty()) {
        m_boundary = kFixedBoundary;
        m_contentType = std::string("multipart/form-data; boundary=") + kFixedBoundary;
    }
}

CHttpClientT::~CHttpClientT()
{
    _AbortPostContext();
}

void CHttpClientT::SetInternet(uint32_t accessType, std::optional<std::string> proxy,
                               std::optional<std::string> bypass, uint32_t openFlags)
{
    m_accessType = accessType;
    m_proxy = std::move(proxy);
    m_proxyBypass = std::move(bypass);
    m_openFlags = openFlags;
}

void CHttpClientT::SetProxyAccount(std::optional<std::string> user, std::optional<std::string> password)
{
    m_proxyUser = std::move(user);
    m_proxyPassword = std::move(password);
}

SessionHandle CHttpClientT::OpenInternet() const
{
    SessionHandle session = CHttpToolA::OpenInternet(m_agent ? m_agent->c_str() : kDefaultAgent, m_accessType,
                                                     orNull(m_proxy), orNull(m_proxyBypass), m_openFlags);
    // A new session has taken the calling thread's own abort check (the
    // transfer thread's quit); keep it beside the client's, and note when
    // either ends a call.
    if (m_abortCheck || session->abortCheck()) {
        session->setAbortCheck([own = m_abortCheck, thread = session->abortCheck(), interrupted = m_interrupted] {
            const bool stop = (own && own()) || (thread && thread());
            if (stop)
                *interrupted = true;
            return stop;
        });
    }
    return session;
}

ConnectionHandle CHttpClientT::OpenConnection(HINTERNET_SESSION* hInternet, std::string_view url) const
{
    if (!hInternet)
        ThrowNullArgument("CHttpClientT::OpenConnection", "hInternet");
    CHttpUrlAnalyzerT parts;
    parts.Analyze(url, m_codePage);
    const bool secure = isHttps(parts.Scheme().in(url));
    uint16_t port = secure ? 443 : 80;
    if (!parts.Port().empty()) {
        const auto given = quaylet::platform::ParsePortNumber(parts.Port().in(url));
        if (!given)
            ThrowError(kErrInvalidPort);
        port = *given;
    }
    if (parts.Host().empty())
        ThrowError(kErrInvalidUrl);
    const std::string host(parts.Host().in(url));
    ConnectionHandle connection = CHttpToolA::OpenConnection(hInternet, host.c_str(), port, secure);
    ApplyProxyAccount(connection.get()); // a failure closes the new connection on the way out
    return connection;
}

RequestHandle CHttpClientT::OpenRequest(HINTERNET_CONNECTION* hConnection, const char* verb, std::string_view url,
                                        uint32_t flags, const char* referrer) const
{
    if (!hConnection)
        ThrowNullArgument("CHttpClientT::OpenRequest", "hConnection");
    // The connection was made for the same address, so it already speaks TLS
    // when the scheme asks for it.
    CHttpUrlAnalyzerT parts;
    parts.Analyze(url, m_codePage);
    std::string object;
    if (!parts.Path().empty()) {
        object = std::string(url.substr(parts.Path().offset));
    } else {
        object.push_back('/');
        object.append(url.substr(parts.Path().offset));
    }
    RequestHandle request = CHttpToolA::OpenRequest(hConnection, verb, object.c_str(), flags, referrer);
    if (flags & INTERNET_FLAG_PRAGMA_NOCACHE)
        CHttpToolA::AddHeader(request.get(), "Cache-Control", "no-cache");
    return request;
}

void CHttpClientT::AddRequestHeader(HINTERNET_REQUEST* hRequest) const
{
    if (!hRequest)
        ThrowNullArgument("CHttpClientT::AddRequestHeader", "hRequest");
    for (const auto& [name, entry] : m_headers)
        CHttpToolA::AddHeader(hRequest, name.c_str(), orNull(entry.value));
}

void CHttpClientT::ApplyProxyAccount(HINTERNET_CONNECTION* hConnection) const
{
    if (!hConnection)
        ThrowNullArgument("CHttpClientT::ApplyProxyAccount", "hConnection");
    if (m_proxyUser && !m_proxyUser->empty() && m_proxyPassword && !m_proxyPassword->empty()) {
        CHttpToolA::SetOption(hConnection, INTERNET_OPTION_PROXY_USERNAME, m_proxyUser->c_str());
        CHttpToolA::SetOption(hConnection, INTERNET_OPTION_PROXY_PASSWORD, m_proxyPassword->c_str());
    }
}

} // namespace Velto
