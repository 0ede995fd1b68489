#include "platform/internet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/sockios.h>
#include <optional>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/curlsupport.h"

// One request over libcurl's multi interface: the head, a body pushed piece by
// piece through a pausing read callback, and the reply read on demand. The
// session, connection and default settings live in internet.cpp.

namespace quaylet::platform {

using namespace detail;

namespace {
// While the body is being written, the sent count is read afresh at most this
// often: finer than any progress display needs.
constexpr auto kSentReadingInterval = std::chrono::milliseconds{20};
} // namespace

class InternetRequest::Impl {
public:
    enum class State { Created, HeadSent, Ended, Failed };

    Impl(InternetConnection& connection, std::string verb, std::string object, HttpVersion version)
        : m_connection(connection)
        , m_verb(std::move(verb))
        , m_object(std::move(object))
        , m_version(version)
    {
    }

    ~Impl()
    {
        m_driver.detach();
        // The easy handle goes after the multi handle has let go of it.
        m_easy.reset();
    }

    bool fail(InternetError error)
    {
        m_error = std::move(error);
        m_state = State::Failed;
        // Closing the transfer drops the connection, so a half-sent body is
        // never taken by the server as a complete request.
        m_driver.detach();
        return false;
    }

    bool failFromDone(const char* whatEnded)
    {
        if (m_driver.result() != CURLE_OK)
            return fail(FromCurl(m_driver.result(), m_errbuf, ConnectedYet(m_easy.get())));
        return fail(MakeError(InternetFailure::Receive, 0, whatEnded));
    }

    bool usable()
    {
        return m_state != State::Failed;
    }

    bool addHeader(std::string_view name, std::string_view value, bool onlyIfNew)
    {
        if (!usable())
            return false;
        name = Trim(name);
        value = Trim(value);
        if (m_state != State::Created || name.empty() || EqualsNoCase(name, "Content-Length") ||
            name.find_first_of(":\r\n") != std::string_view::npos ||
            value.find_first_of("\r\n") != std::string_view::npos) {
            m_error = MakeError(InternetFailure::BadArgument, 0, "header cannot be added: " + std::string(name));
            return false;
        }
        for (auto& h : m_headers) {
            if (EqualsNoCase(h.first, name)) {
                if (!onlyIfNew)
                    h.second = std::string(value);
                return true;
            }
        }
        m_headers.emplace_back(std::string(name), std::string(value));
        return true;
    }

    bool addHeaders(std::string_view lines, bool onlyIfNew)
    {
        while (!lines.empty()) {
            const std::size_t end = lines.find('\n');
            std::string_view line = lines.substr(0, end);
            lines = end == std::string_view::npos ? std::string_view{} : lines.substr(end + 1);
            line = Trim(line);
            if (line.empty())
                continue;
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                m_error = MakeError(InternetFailure::BadArgument, 0, "malformed header line: " + std::string(line));
                return false;
            }
            if (!addHeader(line.substr(0, colon), line.substr(colon + 1), onlyIfNew))
                return false;
        }
        return true;
    }

    bool hasHeader(std::string_view name) const
    {
        return std::any_of(m_headers.begin(), m_headers.end(), [&](const auto& h) { return EqualsNoCase(h.first, name); });
    }

    bool sendHead(uint64_t total)
    {
        if (!usable())
            return false;
        if (m_state != State::Created)
            return fail(MakeError(InternetFailure::BadArgument, 0, "the request head was sent already"));
        if (m_object.empty() || m_object.front() != '/')
            return fail(MakeError(InternetFailure::BadArgument, 0, "the object must start with '/'"));
        m_total = total;
        m_easy.reset(curl_easy_init());
        if (!m_easy)
            return fail(MakeError(InternetFailure::Other, 0, "cannot create a transfer"));
        CURL* h = m_easy.get();
        const InternetSession& session = m_connection.session();

        m_url = m_connection.origin() + m_object;
        curl_easy_setopt(h, CURLOPT_URL, m_url.c_str());
        AllowWebProtocolsOnly(h);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errbuf);
        curl_easy_setopt(h, CURLOPT_USERAGENT, session.agent().c_str());
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION,
                         m_version == HttpVersion::Http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session.timeouts().connect.count()));
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        ApplyTrust(h);
        // Through a proxy, an https request first opens a tunnel; the proxy's
        // answer to that is not the service's reply and must not reach the
        // header callback, which would take it for the reply's head.
        curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (!session.proxy().empty())
            curl_easy_setopt(h, CURLOPT_PROXY, session.proxy().c_str());
        m_noProxy = NoProxyList(session.proxyBypass());
        curl_easy_setopt(h, CURLOPT_NOPROXY, m_noProxy.c_str());
        if (!m_connection.proxyUser().empty() && !m_connection.proxyPassword().empty()) {
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, m_connection.proxyUser().c_str());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, m_connection.proxyPassword().c_str());
        }

        if (EqualsNoCase(m_verb, "GET") && total == 0) {
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        } else if (EqualsNoCase(m_verb, "HEAD") && total == 0) {
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        } else {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            m_sendRateLimit = session.sendRateLimit();
            const std::size_t buffer = UploadBufferUnderLimit(m_uploadBufferSize, m_sendRateLimit);
            if (buffer != 0)
                curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(buffer));
            if (m_sendRateLimit != 0) {
                curl_easy_setopt(h, CURLOPT_MAX_SEND_SPEED_LARGE,
                                 static_cast<curl_off_t>(std::min<uint64_t>(m_sendRateLimit, INT64_MAX)));
                // libcurl takes a buffer from the body only when the last has
                // gone at the limit: that wait is no stall.
                m_limitWait = std::chrono::milliseconds(static_cast<int64_t>(buffer * 1000 / m_sendRateLimit));
            }
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(total));
            curl_easy_setopt(h, CURLOPT_READFUNCTION, &Impl::onRead);
            curl_easy_setopt(h, CURLOPT_READDATA, this);
            if (!EqualsNoCase(m_verb, "POST"))
                curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, m_verb.c_str());
        }
        m_sockets.watch(h);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);

        curl_slist* list = nullptr;
        auto append = [&](const std::string& line) {
            curl_slist* next = curl_slist_append(list, line.c_str());
            if (next != nullptr)
                list = next;
            return next != nullptr;
        };
        bool ok = true;
        for (const auto& [name, value] : m_headers)
            ok = ok && append(value.empty() ? name + ";" : name + ": " + value);
        // libcurl's own defaults would otherwise be sent: a 100-continue wait
        // for larger bodies, and a form-urlencoded type for every POST.
        if (!hasHeader("Expect"))
            ok = ok && append("Expect:");
        if (!hasHeader("Content-Type"))
            ok = ok && append("Content-Type:");
        m_headerList.reset(list);
        if (!ok)
            return fail(MakeError(InternetFailure::Other, 0, "out of memory for headers"));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, m_headerList.get());

        if (!m_driver.attach(h))
            return fail(MakeError(InternetFailure::Other, 0, "cannot start the transfer"));
        m_state = State::HeadSent;
        m_deadline = OverallDeadline(timeouts(), total, m_sendRateLimit);
        m_driver.restartProgressClock(timeouts().connect);
        InternetError error;
        const auto outcome = m_driver.run(
            [&] { return m_bodyRequested || m_headersDone || (total == 0 && ConnectedYet(h)); }, session_abort(),
            bounds(), error);
        if (outcome == Driver::Outcome::Failed)
            return fail(std::move(error));
        if (outcome == Driver::Outcome::Done && m_driver.result() != CURLE_OK)
            return failFromDone("");
        // Connected: the allowance for the connection is used up.
        m_driver.restartProgressClock();
        return true;
    }

    bool write(const void* data, std::size_t size)
    {
        std::size_t taken = 0;
        m_driver.restartProgressClock();
        return writeSome(data, size, taken, Clock::time_point::max());
    }

    // Hands bytes to libcurl until all are taken or `until` has passed.
    bool writeSome(const void* data, std::size_t size, std::size_t& taken, Clock::time_point until)
    {
        taken = 0;
        if (!usable())
            return false;
        if (m_state != State::HeadSent)
            return fail(MakeError(InternetFailure::BadArgument, 0, "write outside the request body"));
        if (size == 0)
            return true;
        if (data == nullptr || size > m_total - m_written)
            return fail(MakeError(InternetFailure::BadArgument, 0, "more bytes than announced"));
        if (m_driver.done())
            return failFromDone("the connection ended before the body was sent");
        m_staging = static_cast<const char*>(data);
        m_stagingLeft = size;
        m_sendPaused = false;
        applyPause();
        InternetError error;
        RunBounds b = bounds();
        b.until = until;
        const auto outcome = m_driver.run([&] { return m_stagingLeft == 0; }, session_abort(), b, error);
        m_transferRan = true;
        // Whatever libcurl has not taken stays the caller's: the read
        // callback pauses until the next write.
        taken = size - m_stagingLeft;
        const bool all = m_stagingLeft == 0;
        m_staging = nullptr;
        m_stagingLeft = 0;
        if (outcome == Driver::Outcome::Failed)
            return fail(std::move(error));
        if (!all && outcome == Driver::Outcome::Done)
            return failFromDone("the connection ended before the body was sent");
        return true;
    }

    // Drives the transfer until the body has been delivered or `until` has
    // passed. Movement of sent() counts as progress.
    bool waitDelivered(Clock::time_point until)
    {
        if (!usable())
            return false;
        if (m_state != State::HeadSent)
            return fail(MakeError(InternetFailure::BadArgument, 0, "the request was not started or has ended"));
        InternetError error;
        RunBounds b = bounds();
        b.until = until;
        const auto outcome = m_driver.run(
            [&] {
                m_transferRan = true;
                const uint64_t before = m_sent;
                if (updateSent() > before)
                    m_driver.markProgress();
                return delivered();
            },
            session_abort(), b, error);
        if (outcome == Driver::Outcome::Failed)
            return fail(std::move(error));
        if (outcome == Driver::Outcome::Done && m_driver.result() != CURLE_OK)
            return failFromDone("");
        return true;
    }

    // Every body byte handed over and counted as sent, or the reply has begun
    // (a server may answer before it reads the whole body).
    bool delivered()
    {
        return (m_written == m_total && updateSent() == m_total) || m_headersDone || m_driver.done();
    }

    // Body bytes libcurl has passed to the socket less those still in the
    // socket's send queue: what the peer's side has received, within about a
    // round trip. Never falls.
    uint64_t updateSent()
    {
        if (!m_easy || m_state == State::Created)
            return m_sent;
        // The upload loop asks after every kilobyte it stages, and reading
        // the socket's queue is a system call. While the body is still being
        // written, the count is read afresh only on the first question after
        // a run of the transfer, and only once kSentReadingInterval has
        // passed since the last reading; until then it stays as it was, never
        // above what was sent. Once the whole body is written, every question
        // is answered afresh: the last percentage must not lag.
        if (m_state == State::HeadSent && m_written < m_total && !freshReadingDue())
            return m_sent;
        // libcurl's count moves only while the transfer runs; between runs the
        // last reading stands.
        if (m_transferRan || m_state != State::HeadSent) {
            curl_off_t uploaded = 0;
            if (curl_easy_getinfo(m_easy.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded) != CURLE_OK || uploaded < 0)
                return m_sent;
            m_handed = std::min<uint64_t>(static_cast<uint64_t>(uploaded), m_written);
            m_transferRan = false;
        }
        uint64_t handed = m_handed;
        int queued = 0;
        const curl_socket_t socket = m_sockets.active();
        if (socket != CURL_SOCKET_BAD && ::ioctl(socket, SIOCOUTQ, &queued) == 0 && queued > 0)
            handed -= std::min<uint64_t>(handed, static_cast<uint64_t>(queued));
        m_sent = std::max(m_sent, handed);
        return m_sent;
    }

    // While the body is written: whether a question is the first after a
    // run of the transfer and the last reading is kSentReadingInterval old.
    // A question too soon lets that run go unread: a later run, and the one
    // that takes the body's last bytes, are read in turn.
    bool freshReadingDue()
    {
        if (!m_transferRan)
            return false;
        const auto now = Clock::now();
        if (now < m_nextSentReading) {
            m_transferRan = false;
            return false;
        }
        m_nextSentReading = now + kSentReadingInterval;
        return true;
    }

    bool endRequest()
    {
        if (!usable())
            return false;
        if (m_state != State::HeadSent)
            return fail(MakeError(InternetFailure::BadArgument, 0, "the request was not started or has ended"));
        if (m_written != m_total)
            return fail(MakeError(InternetFailure::BodyIncomplete, 0,
                                  "written " + std::to_string(m_written) + " of " + std::to_string(m_total) +
                                      " body bytes"));
        InternetError error;
        m_driver.restartProgressClock();
        const auto outcome = m_driver.run([&] { return m_headersDone; }, session_abort(), bounds(), error);
        if (outcome == Driver::Outcome::Failed)
            return fail(std::move(error));
        if (!m_headersDone)
            return failFromDone("the connection ended without a reply");
        m_state = State::Ended;
        return true;
    }

    bool queryAvailable(std::size_t& available)
    {
        available = 0;
        if (!usable())
            return false;
        if (m_state != State::Ended)
            return fail(MakeError(InternetFailure::BadArgument, 0, "the request has not ended"));
        if (buffered() == 0 && !m_driver.done()) {
            if (m_recvPaused) {
                m_recvPaused = false;
                applyPause();
            }
            InternetError error;
            m_driver.restartProgressClock();
            const auto outcome = m_driver.run([&] { return buffered() > 0; }, session_abort(), bounds(), error);
            if (outcome == Driver::Outcome::Failed)
                return fail(std::move(error));
        }
        if (buffered() == 0 && m_driver.done() && m_driver.result() != CURLE_OK)
            return failFromDone("");
        available = buffered();
        return true;
    }

    bool read(void* buffer, std::size_t size, std::size_t& got)
    {
        got = 0;
        std::size_t available = 0;
        if (!queryAvailable(available))
            return false;
        if (size == 0 || available == 0)
            return true;
        if (buffer == nullptr)
            return fail(MakeError(InternetFailure::BadArgument, 0, "no buffer"));
        got = std::min(size, available);
        std::memcpy(buffer, m_received.data() + m_receivedPos, got);
        m_receivedPos += got;
        if (m_receivedPos == m_received.size()) {
            m_received.clear();
            m_receivedPos = 0;
        }
        return true;
    }

    InternetConnection& m_connection;
    std::string m_verb;
    std::string m_object;
    HttpVersion m_version;
    State m_state = State::Created;
    InternetError m_error;
    std::vector<std::pair<std::string, std::string>> m_headers;

    uint64_t m_total = 0;
    std::size_t m_uploadBufferSize = 0; // 0: libcurl's default
    uint64_t m_written = 0;
    int m_status = 0;
    std::string m_responseHeaders;

private:
    const InternetTimeouts& timeouts() const { return m_connection.session().timeouts(); }
    RunBounds bounds() const
    {
        RunBounds b;
        b.noProgress = timeouts().noProgress + m_limitWait;
        b.deadline = m_deadline;
        return b;
    }
    AbortCheck session_abort() const
    {
        const InternetSession& s = m_connection.session();
        return [&s] { return s.abortRequested(); };
    }

    std::size_t buffered() const { return m_received.size() - m_receivedPos; }

    void applyPause()
    {
        if (!m_easy)
            return;
        const int mask = (m_sendPaused ? CURLPAUSE_SEND : 0) | (m_recvPaused ? CURLPAUSE_RECV : 0);
        curl_easy_pause(m_easy.get(), mask);
    }

    static size_t onRead(char* out, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        self->m_bodyRequested = true;
        const std::size_t room = size * count;
        if (self->m_stagingLeft == 0) {
            if (self->m_written >= self->m_total)
                return 0;
            // Nothing staged yet: libcurl waits until the next write() unpauses it.
            self->m_sendPaused = true;
            return CURL_READFUNC_PAUSE;
        }
        const std::size_t n = std::min(room, self->m_stagingLeft);
        std::memcpy(out, self->m_staging, n);
        self->m_staging += n;
        self->m_stagingLeft -= n;
        self->m_written += n;
        self->m_driver.markProgress();
        return n;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const std::size_t n = size * count;
        const std::string_view line(data, n);
        self->m_driver.markProgress();
        if (line.substr(0, 5) == "HTTP/") {
            // A new status line (after a 1xx) starts a new header block.
            self->m_responseHeaders.clear();
            self->m_headersDone = false;
            const std::size_t sp = line.find(' ');
            self->m_status = sp == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
        }
        self->m_responseHeaders.append(line);
        if ((line == "\r\n" || line == "\n") && self->m_status >= 200)
            self->m_headersDone = true;
        return n;
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const std::size_t n = size * count;
        if (self->buffered() >= kReceiveHighWater) {
            self->m_recvPaused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (self->m_receivedPos > 0 && self->m_receivedPos == self->m_received.size()) {
            self->m_received.clear();
            self->m_receivedPos = 0;
        }
        self->m_received.append(data, n);
        self->m_headersDone = true; // a body means the head is complete (also for HTTP/0.9-like replies)
        self->m_driver.markProgress();
        return n;
    }

    // Declared before the easy handle, so that it outlives the handle's
    // closing of its sockets.
    TransferSockets m_sockets;
    EasyPtr m_easy;
    SlistPtr m_headerList;
    Driver m_driver;
    std::string m_url;
    std::string m_noProxy;
    char m_errbuf[CURL_ERROR_SIZE] = {};

    const char* m_staging = nullptr;
    std::size_t m_stagingLeft = 0;
    bool m_bodyRequested = false;
    bool m_sendPaused = false;
    bool m_recvPaused = false;
    bool m_headersDone = false;
    uint64_t m_sent = 0;
    uint64_t m_handed = 0;       // libcurl's count of body bytes passed on, at the last reading
    bool m_transferRan = false;  // the transfer has run since that reading
    Clock::time_point m_nextSentReading; // while the body is written, no fresh reading before this
    Clock::time_point m_deadline = Clock::time_point::max();
    uint64_t m_sendRateLimit = 0;              // bytes per second; 0: none
    std::chrono::milliseconds m_limitWait{0};  // one upload buffer's time at that limit

    std::string m_received;
    std::size_t m_receivedPos = 0;
};

InternetRequest::InternetRequest(InternetConnection& connection, std::string verb, std::string object,
                                 HttpVersion version)
    : m_impl(std::make_unique<Impl>(connection, std::move(verb), std::move(object), version))
{
}

InternetRequest::~InternetRequest() = default;

bool InternetRequest::addHeaders(std::string_view lines, bool onlyIfNew)
{
    return m_impl->addHeaders(lines, onlyIfNew);
}

bool InternetRequest::addHeader(std::string_view name, std::string_view value, bool onlyIfNew)
{
    return m_impl->addHeader(name, value, onlyIfNew);
}

bool InternetRequest::sendHead(uint64_t totalLength)
{
    return m_impl->sendHead(totalLength);
}

bool InternetRequest::write(const void* data, std::size_t size)
{
    return m_impl->write(data, size);
}

bool InternetRequest::writeSome(const void* data, std::size_t size, std::size_t& taken,
                                std::chrono::milliseconds within)
{
    return m_impl->writeSome(data, size, taken, detail::Clock::now() + within);
}

bool InternetRequest::waitDelivered(std::chrono::milliseconds within)
{
    return m_impl->waitDelivered(detail::Clock::now() + within);
}

bool InternetRequest::delivered()
{
    return m_impl->delivered();
}

uint64_t InternetRequest::sent()
{
    return m_impl->updateSent();
}

bool InternetRequest::endRequest()
{
    return m_impl->endRequest();
}

int InternetRequest::statusCode() const
{
    return m_impl->m_state == Impl::State::Ended ? m_impl->m_status : 0;
}

const std::string& InternetRequest::responseHeaders() const
{
    static const std::string empty;
    return m_impl->m_state == Impl::State::Ended ? m_impl->m_responseHeaders : empty;
}

bool InternetRequest::queryAvailable(std::size_t& available)
{
    return m_impl->queryAvailable(available);
}

bool InternetRequest::read(void* buffer, std::size_t size, std::size_t& got)
{
    return m_impl->read(buffer, size, got);
}

void InternetRequest::setUploadBufferSize(std::size_t bytes)
{
    m_impl->m_uploadBufferSize = bytes;
}

uint64_t InternetRequest::written() const
{
    return m_impl->m_written;
}

uint64_t InternetRequest::totalLength() const
{
    return m_impl->m_total;
}

const InternetError& InternetRequest::lastError() const
{
    return m_impl->m_error;
}

} // namespace quaylet::platform
