#pragma once

// Thin, stateless wrappers of the client over files, texts and the internet
// layer. Every failure throws httpclientexceptionA with the code of the
// operation and the system error taken right after the failing call.

#include "platform/internet.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Velto {

// The "handles" of the client are the internet layer's objects. A session
// must outlive its connections, a connection its requests.
using HINTERNET_SESSION = quaylet::platform::InternetSession;
using HINTERNET_CONNECTION = quaylet::platform::InternetConnection;
using HINTERNET_REQUEST = quaylet::platform::InternetRequest;
using SessionHandle = std::unique_ptr<HINTERNET_SESSION>;
using ConnectionHandle = std::unique_ptr<HINTERNET_CONNECTION>;
using RequestHandle = std::unique_ptr<HINTERNET_REQUEST>;

// Access types of a session.
inline constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0; // the environment's proxy settings
inline constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;    // no proxy
inline constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;     // the given proxy

// Request flags the client looks at.
inline constexpr uint32_t INTERNET_FLAG_PRAGMA_NOCACHE = 0x100;

// Options of SetOption.
inline constexpr uint32_t INTERNET_OPTION_PROXY_USERNAME = 43;
inline constexpr uint32_t INTERNET_OPTION_PROXY_PASSWORD = 44;

// The file "handle" of the client is a file descriptor.
inline constexpr int kInvalidFile = -1;

// The boundary used when no random one can be made.
inline constexpr const char* kFixedBoundary = "----VELTO-FB3B405B7EAE495aB0C0295C54D4E096-";

class CHttpToolA {
public:
    // Internet layer (codes 402 to 410). Missing handles and names are
    // argument errors.
    static SessionHandle OpenInternet(const char* szAgent, uint32_t accessType, const char* szProxy,
                                      const char* szProxyBypass, uint32_t flags);
    // The server's user name and password are not supported by the internet
    // layer and not used by this system; `secure` selects TLS.
    static ConnectionHandle OpenConnection(HINTERNET_SESSION* hInternet, const char* szServerAddr, uint16_t port,
                                           bool secure);
    // HTTP/1.1, accepting any type ("Accept: */*").
    static RequestHandle OpenRequest(HINTERNET_CONNECTION* hConnection, const char* szVerb, const char* szObjectName,
                                     uint32_t flags, const char* szReferer);
    // Adds "name: value"; a missing value counts as empty.
    static void AddHeader(HINTERNET_REQUEST* hRequest, const char* szName, const char* szValue);
    static void SendRequestEx(HINTERNET_REQUEST* hRequest, uint32_t totalLength);
    static void InternetWriteFile(HINTERNET_REQUEST* hRequest, const void* pbyBuff, std::size_t cbyBuff);
    // Hands over what the connection takes within `within`; returns how many
    // bytes that was (code 408 on failure).
    static std::size_t InternetWriteSome(HINTERNET_REQUEST* hRequest, const void* pbyBuff, std::size_t cbyBuff,
                                         std::chrono::milliseconds within);
    // Waits up to `within` for the written body to reach the service (code
    // 408 on failure, as for a write).
    static void WaitDelivered(HINTERNET_REQUEST* hRequest, std::chrono::milliseconds within);
    static void EndRequest(HINTERNET_REQUEST* hRequest);
    // Only the proxy account options are known to the internet layer.
    static void SetOption(HINTERNET_CONNECTION* hConnection, uint32_t option, const char* szValue);
    template <typename Handle>
    static void CloseInternetHandle(Handle& handle) noexcept
    {
        handle.reset();
    }

    static std::string Unicode2Ansi(std::wstring_view text, unsigned codePage = 0);

    // Opens a regular file for reading; kInvalidFile (errno set) when it
    // cannot be opened or is no regular file. Never throws for a bad file.
    static int OpenFile(const char* szFilePath);
    // Reads until size bytes are in or the file ends; returns how many were
    // read. Code 602 when reading fails.
    static std::size_t ReadFile(int hFile, void* buffer, std::size_t size);
    // The size in bytes; code 605 with the path when it cannot be read, code
    // 112 for a file of 4 GiB or more.
    static uint32_t GetFileSize(int hFile, const char* szFilePath);
    // The MIME type sniffed from the first 256 bytes; the file position is
    // back at the start afterwards. "application/octet-stream" for an invalid
    // handle or unknown content.
    static std::string GetMimeType(int hFile, unsigned codePage = 0);
    // "----VELTA-" + 32 lowercase hex digits of a random GUID + "-" (43
    // characters); none when no random value can be had.
    static std::optional<std::string> CreateBoundary();
};

} // namespace Velto
