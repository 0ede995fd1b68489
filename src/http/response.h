#pragma once

// The reply of a finished post: owns the request, connection and session it
// was handed (each may be absent, e.g. a session the caller supplied) and
// closes them in that order when it goes.

#include "http/httptool.h"

#include <cstddef>

namespace Velto {

class CHttpResponseT {
public:
    CHttpResponseT(SessionHandle session, ConnectionHandle connection, RequestHandle request) noexcept;
    virtual ~CHttpResponseT();
    CHttpResponseT(const CHttpResponseT&) = delete;
    CHttpResponseT& operator=(const CHttpResponseT&) = delete;

    // Reads at most cbBuff body bytes; 0 means the body has ended. Code 401.
    std::size_t ReadContent(void* pbyBuff, std::size_t cbBuff);

    // Not used by this system; filled from the reply head for diagnostics.
    int GetStatus() const;

private:
    SessionHandle m_session;
    ConnectionHandle m_connection;
    RequestHandle m_request;
};

} // namespace Velto
