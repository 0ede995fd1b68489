#pragma once

// CHttpClientT sends POST requests whose multipart/form-data body is written
// piece by piece under the caller's control, so that a long upload can report
// progress and be given up between pieces:
//
//   client.AddParam("appid", "glimmerly");
//   client.AddParam("media", "/path/photo.jpg", kParamFile);
//   client.StartUpload("host/V1.0/x?method=x", false); // exact length, head sent
//   while (!(response = client.ProceedPost(1024)))       // one piece per call
//       client.QueryPostStat(stat);                      // progress in between
//   response->ReadContent(...);
//
// Every failure throws httpclientexceptionA and leaves the client idle with
// every handle of the context closed. Files are streamed, never loaded whole.
// Not thread-safe: one thread drives a client (the transfer thread).

#include "http/clientmap.h"
#include "http/httptool.h"
#include "http/poststat.h"
#include "http/response.h"

#include "platform/uniquefd.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Velto {

// StartUpload's request flags: cache allowed / no cache ("Cache-Control: no-cache").
inline constexpr uint32_t kUploadFlagsCache = 0x400E00;
inline constexpr uint32_t kUploadFlagsNoCache = 0x84400F00;

class CHttpClientT {
public:
    static constexpr const char* kDefaultAgent = "Velto HTTP Client Class";
    // Body bytes gathered before they are handed to the internet layer. Each
    // hand-over resumes the transfer machinery (several system calls), so it
    // must not happen per small piece. libcurl's upload buffer is given the
    // same size, so that each hand-over is taken in one pass (blocks larger
    // than that buffer measured slower: the transfer pauses mid-block).
    static constexpr std::size_t kStageSize = 512 * 1024;
    // Staged bytes are handed over once this many have gathered, and when
    // the whole body is staged. File parts are read straight into the stage
    // ahead of the pieces that write them, up to this mark, so a hand-over
    // leaves no bytes read ahead behind and a block costs few reads.
    static constexpr std::size_t kHandOverAt = kStageSize / 2;
    // The longest one ProceedPost spends handing staged bytes over or
    // waiting for the service to receive them, so that the caller shows
    // progress and looks at its cancel flag at least this often.
    static constexpr std::chrono::milliseconds kHandOverSlice{250};

    CHttpClientT();
    virtual ~CHttpClientT();
    CHttpClientT(const CHttpClientT&) = delete;
    CHttpClientT& operator=(const CHttpClientT&) = delete;

    // --- settings --------------------------------------------------------
    // When on, a file parameter whose file cannot be opened fails StartUpload
    // with code 603 instead of being sent with an empty body.
    void SetStrictFileCheck(bool on) { m_strictFileCheck = on; }
    bool StrictFileCheck() const { return m_strictFileCheck; }
    const std::string& Boundary() const { return m_boundary; }
    const std::string& ContentType() const { return m_contentType; }
    void SetUseUtf8(bool on) { m_useUtf8 = on; }
    void SetCodePage(unsigned codePage) { m_codePage = codePage; }
    void SetAgent(std::optional<std::string> agent) { m_agent = std::move(agent); }
    void SetInternet(uint32_t accessType, std::optional<std::string> proxy, std::optional<std::string> bypass,
                     uint32_t openFlags);
    void SetProxyAccount(std::optional<std::string> user, std::optional<std::string> password);
    // Asked by blocking network calls of sessions this client opens; true
    // makes the call fail at once (the layer's Aborted failure).
    void SetAbortCheck(quaylet::platform::AbortCheck check) { m_abortCheck = std::move(check); }
    // True once an abort check (the client's or the calling thread's) has
    // ended one of this client's network calls: the failure that followed
    // was the interruption, not the network's.
    bool Interrupted() const { return *m_interrupted; }
    CHttpClientMapT& HeaderMap() { return m_headers; }
    const CHttpClientMapT& ParamMap() const { return m_params; }

    // --- connection operations -------------------------------------------
    SessionHandle OpenInternet() const;
    ConnectionHandle OpenConnection(HINTERNET_SESSION* hInternet, std::string_view url) const;
    RequestHandle OpenRequest(HINTERNET_CONNECTION* hConnection, const char* verb, std::string_view url,
                              uint32_t flags, const char* referrer) const;
    void AddRequestHeader(HINTERNET_REQUEST* hRequest) const;
    void ApplyProxyAccount(HINTERNET_CONNECTION* hConnection) const;

    // --- post context ----------------------------------------------------
    // Refused while a context is active.
    void AddParam(const char* szName, const char* szValue = nullptr, uint32_t flags = 0);
    void ClearParam();
    void StartUpload(std::string_view url, bool useCache = false);
    // Writes one piece; returns the response on the call that finds the
    // whole body written and received by the service (the caller owns it),
    // nullptr before. A call that hands staged bytes to the connection, or
    // waits for the service to receive them, returns after at most
    // kHandOverSlice (plus one poll of the connection).
    std::unique_ptr<CHttpResponseT> ProceedPost(uint32_t nDesired);
    // The posted counts are what the service has received (within about a
    // round trip), not what has been staged: they never run ahead of the
    // network and never fall.
    void QueryPostStat(CHttpPostStatT& target) const;
    bool IsPostActive() const { return m_stat.IsActive(); }

    // The exact byte count of a file part's filename on the wire.
    static std::string EscapeFilename(std::string_view path);

private:
    struct FilePart {
        quaylet::platform::UniqueFd fd; // invalid when the file failed to open
        std::string mime;
        uint32_t size = 0;
    };
    struct Handles {
        SessionHandle session;
        ConnectionHandle connection;
        RequestHandle request;
    };

    void _OpenUploadContext(std::string_view url, uint32_t flags);
    std::unique_ptr<CHttpResponseT> _ProceedUploadContext(uint32_t nDesired);
    void writeNextHead();
    void writeContent(uint32_t n);
    void readFileInto(uint32_t n);
    void _WritePost(const void* data, std::size_t size, bool content);
    void _WritePost(std::string_view text, bool content) { _WritePost(text.data(), text.size(), content); }
    void flushStage();
    void dropHandedStage();
    bool handOverDue() const;
    void handOver();
    void noteFraming(uint32_t offset, uint32_t length);
    Handles _ReleasePostResponse();
    void _AbortPostContext() noexcept;
    // Inside a catch: abandons the context, then passes the failure on (out
    // of memory as code 102).
    [[noreturn]] void abandonAndRethrow();
    uint32_t wireLength(std::string_view text) const;
    std::string wireText(std::string_view text) const;

    // Settings.
    bool m_strictFileCheck = false;
    std::string m_boundary;
    std::string m_contentType;
    bool m_useUtf8 = false;
    unsigned m_codePage = 0;
    CHttpClientMapT m_headers;
    CHttpClientMapT m_params;
    std::optional<std::string> m_agent;
    uint32_t m_accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::optional<std::string> m_proxy, m_proxyBypass;
    uint32_t m_openFlags = 0;
    std::optional<std::string> m_proxyUser, m_proxyPassword;
    quaylet::platform::AbortCheck m_abortCheck;
    // Set on the calling thread by the abort check of the sessions this
    // client opens; shared, as a session may outlive the client.
    std::shared_ptr<bool> m_interrupted = std::make_shared<bool>(false);

    // Post context (idle unless m_stat is active).
    CHttpPostStatT m_initialStat;
    CHttpPostStatT m_stat;
    std::vector<FilePart> m_files;             // one per file parameter, in map order
    std::string m_valueBuffer;                 // the value being written (its UTF-8 form if asked)
    CHttpClientMapT::const_iterator m_current; // the parameter being written
    std::size_t m_currentFile = 0;             // index into m_files while a file part is written
    Handles m_handles;
    bool m_postMode = true; // until the first upload starts
    // kStageSize bytes: the body bytes written and not yet handed over, then
    // the file bytes read ahead of the pieces that will write them.
    std::unique_ptr<char[]> m_stage;
    std::size_t m_stageLen = 0;    // written bytes at the front of m_stage
    std::size_t m_stageHanded = 0; // of those, the bytes the connection has taken
    std::size_t m_readAhead = 0;   // file bytes after the written ones
    // Body ranges (offset, length) of delimiters and part heads, in order and
    // merged where they touch: they tell how many of the bytes the service
    // has received are content.
    std::vector<std::pair<uint32_t, uint32_t>> m_framing;
    uint32_t m_currentContentStart = 0; // body offset of the current part's content
};

} // namespace Velto
