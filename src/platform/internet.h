#pragma once

// The internet layer: sessions, connections and HTTP requests over libcurl,
// shaped after what the service requests and the HTTP client need.
//
//   InternetSession     agent text, proxy, timeouts and the abort check of one
//                       exchange (or of several, sequentially)
//   InternetConnection  scheme, host and port (plus optional proxy account)
//   InternetRequest     one request; its body is pushed by the caller:
//
//       InternetRequest req(conn, "POST", "/V1.0/x?method=x", HttpVersion::Http10);
//       req.addHeaders("Accept: text/xml\r\nContent-Type: ...\r\n");
//       req.sendHead(total);          // connects, sends the head, total bytes announced
//       req.write(piece, n) ...       // returns once libcurl has taken the n bytes
//       req.endRequest();             // all bytes written; waits for the reply head
//       req.read(buf, size, got) ...  // body bytes, got == 0 at the end
//
// Every operation returns false on failure and leaves the reason in
// lastError(); nothing throws. A failed request stays failed: later calls on it
// fail with the same error. The body length is always announced, so the
// request never uses chunked encoding (HTTP/1.0 needs a known length), and
// "Expect:" is sent empty: libcurl would otherwise wait for a 100-continue
// that simple servers never send.
//
// No call blocks forever: the connect time-out bounds the connection (and TLS
// handshake), the no-progress time-out fails a blocking call during which no
// byte moved in either direction, and the overall limit ends an exchange
// whose bytes only trickle. A blocking call also ends, with
// InternetFailure::Aborted, as soon as the session's abort check answers true;
// the check is polled at least every kAbortPollInterval. A session made on a
// thread that holds a ScopedInternetAbort takes that thread's check, so the
// transfer thread's quit and cancel events interrupt requests made deep inside
// calls that know nothing of them.
//
// Threads: a session, its connections and requests are used by one thread at
// a time; only the defaults below and the free functions may be used anywhere.
// Proxies: the environment's proxy settings apply, except for loopback
// addresses, which are always reached directly.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quaylet::platform {

// Answers true when the blocking call should give up. Called on the thread
// that makes the call.
using AbortCheck = std::function<bool()>;

struct InternetTimeouts {
    // Long enough for a slow name lookup plus a TCP and TLS handshake over a
    // poor mobile link; an unreachable host fails within it.
    std::chrono::milliseconds connect{15000};
    // A server that accepts and then stops reading or answering fails after
    // this long without a byte moving; uploads over slow links still move
    // bytes every few seconds, so this does not cut off a slow but live one.
    std::chrono::milliseconds noProgress{30000};
    // Every exchange ends within this, however its bytes trickle: a server
    // that sends a byte now and then never trips the no-progress limit. A
    // request gets more for its announced body, as long as the body takes at
    // slowestBodyRate bytes per second; a link slower than that is taken as
    // dead. Counted from sendHead (for a download, from its start). Under a
    // send rate limit below slowestBodyRate the body is given the time it
    // takes at a little under that limit instead.
    std::chrono::milliseconds overall{60000};
    uint64_t slowestBodyRate = 8 * 1024;
};

// The time-outs that new sessions start with. Tests shorten them.
InternetTimeouts DefaultInternetTimeouts();
void SetDefaultInternetTimeouts(const InternetTimeouts& timeouts);

// The cap on the rate at which request bodies are sent, in bytes per second
// (0: none), that new sessions start with. The user's choice of upload speed:
// the window thread may change it while the transfer thread makes sessions,
// so a change applies from the next session on.
uint64_t DefaultSendRateLimit();
void SetDefaultSendRateLimit(uint64_t bytesPerSecond);

inline constexpr std::chrono::milliseconds kAbortPollInterval{100};

// Installs an abort check for the current thread while it lives; sessions
// made on this thread meanwhile use it unless they are given one of their own.
// Nests: the innermost guard wins.
class ScopedInternetAbort final {
public:
    explicit ScopedInternetAbort(AbortCheck check);
    ~ScopedInternetAbort();
    ScopedInternetAbort(const ScopedInternetAbort&) = delete;
    ScopedInternetAbort& operator=(const ScopedInternetAbort&) = delete;

private:
    AbortCheck m_previous;
};

// True when the calling thread's abort check (a ScopedInternetAbort's) is set
// and answers true now: for other waits that should end with the exchanges.
bool ThreadAbortRequested();

enum class InternetFailure {
    None,
    BadArgument,    // the call cannot be made in this state or with these values
    Resolve,        // host name not found
    Connect,        // refused, unreachable, or no connection within the connect time-out
    Tls,            // TLS handshake or certificate check failed
    TimedOut,       // no progress within the no-progress time-out
    Send,           // connection lost while sending
    Receive,        // connection lost, or malformed reply, while receiving
    BodyIncomplete, // endRequest before the announced number of bytes was written
    Aborted,        // the abort check answered true
    File,           // a local file could not be written
    HttpStatus,     // a download answered with a status of 400 or above
    Other,
};

struct InternetError {
    InternetFailure failure = InternetFailure::None;
    int code = 0;        // libcurl's result code, or errno for file failures; 0 if none
    std::string message; // a readable description for logs
};

const char* InternetFailureName(InternetFailure failure);

class InternetSession final {
public:
    // An empty agent sends "Quaylet/<version>", the application's own name.
    explicit InternetSession(std::string agent = {});
    ~InternetSession();
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    const std::string& agent() const { return m_agent; }

    // An empty proxy uses the environment's; bypass is a libcurl no-proxy list
    // ("host,host") added to the loopback addresses, which are always bypassed.
    void setProxy(std::string proxy, std::string bypass);
    const std::string& proxy() const { return m_proxy; }
    const std::string& proxyBypass() const { return m_bypass; }

    void setTimeouts(const InternetTimeouts& timeouts) { m_timeouts = timeouts; }
    const InternetTimeouts& timeouts() const { return m_timeouts; }

    // Bytes per second a request body is sent at, at most (0: no limit);
    // taken by each request when it sends its head.
    void setSendRateLimit(uint64_t bytesPerSecond) { m_sendRateLimit = bytesPerSecond; }
    uint64_t sendRateLimit() const { return m_sendRateLimit; }

    void setAbortCheck(AbortCheck check) { m_abort = std::move(check); }
    const AbortCheck& abortCheck() const { return m_abort; }
    // True when the abort check is set and answers true now.
    bool abortRequested() const;

private:
    std::string m_agent;
    std::string m_proxy;
    std::string m_bypass;
    InternetTimeouts m_timeouts;
    uint64_t m_sendRateLimit = 0;
    AbortCheck m_abort;
};

class InternetConnection final {
public:
    // port 0 picks the scheme's default (80, or 443 when secure). The session
    // must outlive the connection.
    InternetConnection(InternetSession& session, std::string host, uint16_t port, bool secure);
    ~InternetConnection();
    InternetConnection(const InternetConnection&) = delete;
    InternetConnection& operator=(const InternetConnection&) = delete;

    // An account for the proxy, sent when both texts are non-empty.
    void setProxyAccount(std::string user, std::string password);

    InternetSession& session() const { return m_session; }
    const std::string& host() const { return m_host; }
    uint16_t port() const { return m_port; }
    bool secure() const { return m_secure; }
    const std::string& proxyUser() const { return m_proxyUser; }
    const std::string& proxyPassword() const { return m_proxyPassword; }
    // "http://host:port" (IPv6 hosts in brackets).
    std::string origin() const;

private:
    InternetSession& m_session;
    std::string m_host;
    uint16_t m_port;
    bool m_secure;
    std::string m_proxyUser;
    std::string m_proxyPassword;
};

enum class HttpVersion { Http10, Http11 };

class InternetRequest final {
public:
    // object: the path and query, starting with "/"; it is sent as given. The
    // connection must outlive the request.
    InternetRequest(InternetConnection& connection, std::string verb, std::string object,
                    HttpVersion version = HttpVersion::Http11);
    ~InternetRequest(); // closes the transfer, abandoning an unfinished body
    InternetRequest(const InternetRequest&) = delete;
    InternetRequest& operator=(const InternetRequest&) = delete;

    // Adds header lines "Name: value", separated or ended by CR LF; only
    // before sendHead. An existing header of the same name is kept when
    // onlyIfNew is set, replaced otherwise. Content-Length is computed from
    // sendHead's total and may not be added.
    bool addHeaders(std::string_view lines, bool onlyIfNew = false);
    bool addHeader(std::string_view name, std::string_view value, bool onlyIfNew = false);

    // Connects (within the connect time-out) and sends the request head with
    // "Content-Length: totalLength". Returns once the server may take the body.
    bool sendHead(uint64_t totalLength);

    // Writes the bytes as the next part of the body. Returns once libcurl has
    // taken all of them (the last few may still sit in its send buffer). More
    // than the announced total is an error.
    bool write(const void* data, std::size_t size);

    // Like write, but returns once `within` has passed even when libcurl has
    // not taken every byte yet; `taken` says how many it took (the rest is
    // still the caller's, to be offered again). A caller that drives a long
    // body in such slices can show progress and stay responsive between them;
    // the no-progress limit still applies across the slices.
    bool writeSome(const void* data, std::size_t size, std::size_t& taken, std::chrono::milliseconds within);

    // Body bytes the server's side has received so far, within about a round
    // trip: what libcurl has passed to the socket less what still waits in
    // the socket's send queue. While the body is being written, the count is
    // read afresh at most every 20 ms, after a run of the transfer; once it
    // is all written, on every call. Never falls; at most written().
    uint64_t sent();

    // True once the whole announced body has been written and sent, or the
    // reply has begun (a server may answer before reading everything).
    bool delivered();

    // Drives the transfer until delivered() or until `within` has passed;
    // false on failure. Movement of sent() counts as progress.
    bool waitDelivered(std::chrono::milliseconds within);

    // Ends the body (exactly the announced total must have been written) and
    // waits for the reply's status line and headers.
    bool endRequest();

    // The reply's status code and header block; 0 and empty before endRequest.
    int statusCode() const;
    const std::string& responseHeaders() const;

    // Blocks until reply bytes are available or the reply has ended, then sets
    // how many can be read without blocking (0: the reply has ended).
    bool queryAvailable(std::size_t& available);

    // Reads up to size bytes of the reply body; got == 0 means its end.
    bool read(void* buffer, std::size_t size, std::size_t& got);

    // The size of libcurl's upload buffer (its default is 64 KiB; at most
    // 2 MiB); only before sendHead. A caller that writes in blocks of this
    // size has each block taken in one pass of the transfer.
    void setUploadBufferSize(std::size_t bytes);

    // Body bytes taken by write() so far, and the announced total.
    uint64_t written() const;
    uint64_t totalLength() const;

    const InternetError& lastError() const;

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Whether a connection to the address's host can be made now: a TCP connection
// (and, for https, a TLS handshake) within the timeout. Nothing is sent.
bool CheckInternetConnection(const std::string& url, std::chrono::milliseconds timeout,
                             InternetError* error = nullptr);

// Fetches the address (following redirects) into the file, replacing it. A
// status of 400 or above, a reply larger than maxBytes or any failure leaves
// no file behind and returns false. Uses the calling thread's abort check.
bool DownloadToFile(const std::string& url, const std::string& path, InternetError* error = nullptr,
                    uint64_t maxBytes = 64u * 1024 * 1024);

// A port number written in an address: one to five decimal digits, at most
// 65535. Nothing for anything else (empty, signs, blanks, other characters).
std::optional<uint16_t> ParsePortNumber(std::string_view text);

// Decodes every %XX sequence (either letter case); everything else, invalid
// sequences included, is kept as it is. '+' stays '+'.
std::string PercentDecode(std::string_view text);

// Encodes every byte outside A-Z a-z 0-9 - . _ ~ as %XX with upper-case digits.
std::string PercentEncode(std::string_view text);

} // namespace quaylet::platform
