// The parts of CHttpToolA over the internet layer.

#include "http/httptool.h"

#include "http/errors.h"

#include <cerrno>
#include <new>

namespace Velto {

using quaylet::platform::InternetConnection;
using quaylet::platform::InternetRequest;
using quaylet::platform::InternetSession;

namespace {
[[noreturn]] void failWith(int code, const InternetRequest& request)
{
    ThrowError(code, request.lastError().code);
}

bool empty(const char* text)
{
    return text == nullptr || *text == '\0';
}
} // namespace

SessionHandle CHttpToolA::OpenInternet(const char* szAgent, uint32_t accessType, const char* szProxy,
                                       const char* szProxyBypass, uint32_t /*flags*/)
{
    try {
        auto session = std::make_unique<InternetSession>(szAgent ? szAgent : "");
        const std::string bypass = szProxyBypass ? szProxyBypass : "";
        if (accessType == INTERNET_OPEN_TYPE_DIRECT)
            session->setProxy({}, "*");
        else if (accessType == INTERNET_OPEN_TYPE_PROXY && !empty(szProxy))
            session->setProxy(szProxy, bypass);
        else if (!bypass.empty())
            session->setProxy({}, bypass);
        return session;
    } catch (const std::bad_alloc&) {
        ThrowError(kErrOpenSession, ENOMEM);
    }
}

ConnectionHandle CHttpToolA::OpenConnection(HINTERNET_SESSION* hInternet, const char* szServerAddr, uint16_t port,
                                            bool secure)
{
    if (!hInternet)
        ThrowNullArgument("CHttpToolA::OpenConnection", "hInternet");
    if (!szServerAddr)
        ThrowNullArgument("CHttpToolA::OpenConnection", "szServerAddr");
    if (*szServerAddr == '\0')
        ThrowEmptyArgument("CHttpToolA::OpenConnection", "szServerAddr");
    try {
        return std::make_unique<InternetConnection>(*hInternet, szServerAddr, port, secure);
    } catch (const std::bad_alloc&) {
        ThrowError(kErrConnect, ENOMEM);
    }
}

RequestHandle CHttpToolA::OpenRequest(HINTERNET_CONNECTION* hConnection, const char* szVerb,
                                      const char* szObjectName, uint32_t /*flags*/, const char* szReferer)
{
    if (!hConnection)
        ThrowNullArgument("CHttpToolA::OpenRequest", "hConnection");
    if (!szObjectName)
        ThrowNullArgument("CHttpToolA::OpenRequest", "szObjectName");
    if (*szObjectName == '\0')
        ThrowEmptyArgument("CHttpToolA::OpenRequest", "szObjectName");
    RequestHandle request;
    try {
        request = std::make_unique<InternetRequest>(*hConnection, empty(szVerb) ? "GET" : szVerb, szObjectName,
                                                    quaylet::platform::HttpVersion::Http11);
    } catch (const std::bad_alloc&) {
        ThrowError(kErrOpenRequest, ENOMEM);
    }
    if (!request->addHeader("Accept", "*/*") || (!empty(szReferer) && !request->addHeader("Referer", szReferer)))
        failWith(kErrOpenRequest, *request);
    return request;
}

void CHttpToolA::AddHeader(HINTERNET_REQUEST* hRequest, const char* szName, const char* szValue)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::AddHeader", "hRequest");
    if (!szName)
        ThrowNullArgument("CHttpToolA::AddHeader", "szName");
    if (!hRequest->addHeader(szName, szValue ? szValue : ""))
        failWith(kErrAddHeader, *hRequest);
}

void CHttpToolA::SendRequestEx(HINTERNET_REQUEST* hRequest, uint32_t totalLength)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::SendRequestEx", "hRequest");
    if (!hRequest->sendHead(totalLength))
        failWith(kErrSendRequestEx, *hRequest);
}

void CHttpToolA::InternetWriteFile(HINTERNET_REQUEST* hRequest, const void* pbyBuff, std::size_t cbyBuff)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::InternetWriteFile", "hRequest");
    if (!pbyBuff)
        ThrowNullArgument("CHttpToolA::InternetWriteFile", "pbyBuff");
    if (cbyBuff == 0)
        ThrowZeroArgument("CHttpToolA::InternetWriteFile", "cbyBuff");
    // The layer returns only once it has taken every byte.
    if (!hRequest->write(pbyBuff, cbyBuff))
        failWith(kErrWriteBody, *hRequest);
}

std::size_t CHttpToolA::InternetWriteSome(HINTERNET_REQUEST* hRequest, const void* pbyBuff, std::size_t cbyBuff,
                                          std::chrono::milliseconds within)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::InternetWriteSome", "hRequest");
    if (!pbyBuff)
        ThrowNullArgument("CHttpToolA::InternetWriteSome", "pbyBuff");
    if (cbyBuff == 0)
        ThrowZeroArgument("CHttpToolA::InternetWriteSome", "cbyBuff");
    std::size_t taken = 0;
    if (!hRequest->writeSome(pbyBuff, cbyBuff, taken, within))
        failWith(kErrWriteBody, *hRequest);
    return taken;
}

void CHttpToolA::WaitDelivered(HINTERNET_REQUEST* hRequest, std::chrono::milliseconds within)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::WaitDelivered", "hRequest");
    if (!hRequest->waitDelivered(within))
        failWith(kErrWriteBody, *hRequest);
}

void CHttpToolA::EndRequest(HINTERNET_REQUEST* hRequest)
{
    if (!hRequest)
        ThrowNullArgument("CHttpToolA::EndRequest", "hRequest");
    if (!hRequest->endRequest())
        failWith(kErrEndRequest, *hRequest);
}

void CHttpToolA::SetOption(HINTERNET_CONNECTION* hConnection, uint32_t option, const char* szValue)
{
    if (!hConnection)
        ThrowNullArgument("CHttpToolA::SetOption", "hConnection");
    const std::string value = szValue ? szValue : "";
    if (option == INTERNET_OPTION_PROXY_USERNAME)
        hConnection->setProxyAccount(value, hConnection->proxyPassword());
    else if (option == INTERNET_OPTION_PROXY_PASSWORD)
        hConnection->setProxyAccount(hConnection->proxyUser(), value);
    else
        ThrowError(kErrSetOption, EINVAL);
}

} // namespace Velto
