#include "http/response.h"

#include "http/errors.h"

namespace Velto {

CHttpResponseT::CHttpResponseT(SessionHandle session, ConnectionHandle connection, RequestHandle request) noexcept
    : m_session(std::move(session)), m_connection(std::move(connection)), m_request(std::move(request))
{
}

CHttpResponseT::~CHttpResponseT()
{
    CHttpToolA::CloseInternetHandle(m_request);
    CHttpToolA::CloseInternetHandle(m_connection);
    CHttpToolA::CloseInternetHandle(m_session);
}

std::size_t CHttpResponseT::ReadContent(void* pbyBuff, std::size_t cbBuff)
{
    if (!m_request)
        ThrowNullArgument("CHttpResponseT::ReadContent", "m_hRequest");
    if (!pbyBuff)
        ThrowNullArgument("CHttpResponseT::ReadContent", "pbyBuff");
    if (cbBuff == 0)
        ThrowZeroArgument("CHttpResponseT::ReadContent", "cbBuff");
    std::size_t got = 0;
    if (!m_request->read(pbyBuff, cbBuff, got))
        ThrowError(kErrReadResponse, m_request->lastError().code);
    return got;
}

int CHttpResponseT::GetStatus() const
{
    return m_request ? m_request->statusCode() : 0;
}

} // namespace Velto
