#include "devserver/devserver.h"

#include "devserver/multipart.h"
#include "devserver/pages.h"

#include <httplib.h>

#include <atomic>
#include <chrono>

namespace quaylet::devserver {

namespace {

// The original Content-Type of a multipart request. The HTTP library would
// parse multipart bodies itself and refuse the client's bare delimiter form,
// so the type is moved aside before routing and the body is read raw.
constexpr const char* kStashedType = "X-Devserver-Original-Content-Type";

std::string OriginOf(const httplib::Request& req, const std::string& fallback, bool secure)
{
    const std::string host = req.get_header_value("Host");
    return host.empty() ? fallback : (secure ? "https://" : "http://") + host;
}

std::unique_ptr<httplib::Server> MakeServer(const TlsFiles& tls)
{
    if (tls.certificate.empty())
        return std::make_unique<httplib::Server>();
    return std::make_unique<httplib::SSLServer>(tls.certificate.c_str(), tls.key.c_str());
}

} // namespace

DevServer::DevServer(DevConfig config, std::string dataDir, const TlsFiles& tls)
    : m_config(std::move(config))
    , m_store(std::move(dataDir))
    , m_api(m_config, m_store)
    , m_server(MakeServer(tls))
    , m_secure(!tls.certificate.empty())
    , m_faults(m_config.faults)
{
    m_server->set_socket_options([this](int socket) {
        httplib::default_socket_options(socket);
        if (faults().rate.enabled)
            ShrinkReceiveBuffer(socket);
    });
    m_server->set_read_timeout(30, 0);
    m_server->set_write_timeout(30, 0);
    m_server->set_pre_routing_handler([](const httplib::Request& creq, httplib::Response&) {
        // The library hands out the request as const although it owns a
        // mutable one; the header is changed before any body is read.
        auto& req = const_cast<httplib::Request&>(creq);
        const std::string type = req.get_header_value("Content-Type");
        if (type.rfind("multipart/", 0) == 0 || type.rfind("Multipart/", 0) == 0) {
            req.set_header(kStashedType, type);
            auto range = req.headers.equal_range("Content-Type");
            req.headers.erase(range.first, range.second);
            req.set_header("Content-Type", "application/octet-stream");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server->Post(R"(/V1\.0/([^/?]*))",
                   [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                       handleApi(req, res, reader);
                   });
    m_server->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) { handlePage(req, res); });
}

DevServer::~DevServer()
{
    stop();
    if (m_thread.joinable())
        m_thread.join();
}

bool DevServer::bind(const std::string& host, int port, std::string& error)
{
    m_host = host;
    if (!m_server->is_valid()) {
        error = "cannot use the certificate or its key";
        return false;
    }
    if (port == 0) {
        m_port = m_server->bind_to_any_port(host);
        if (m_port <= 0) {
            error = "cannot listen on " + host;
            return false;
        }
        return true;
    }
    if (!m_server->bind_to_port(host, port)) {
        error = "cannot listen on " + host + ":" + std::to_string(port);
        return false;
    }
    m_port = port;
    return true;
}

std::string DevServer::origin() const
{
    const bool v6 = m_host.find(':') != std::string::npos;
    return (m_secure ? "https://" : "http://") + (v6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port);
}

void DevServer::run()
{
    // The library's stop() does nothing before serving has begun, so a stop
    // that came first (a signal right after the port was printed) is repeated
    // once serving has begun. stop() marks the stop before it calls the
    // library, so one of the two always sees the server running.
    std::atomic<bool> ended{false};
    std::thread lateStop([this, &ended] {
        while (!m_server->is_running() && !ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (stopping())
            m_server->stop();
    });
    m_server->listen_after_bind();
    ended = true;
    lateStop.join();
}

void DevServer::start()
{
    m_thread = std::thread([this] { run(); });
    // Serving has begun once the library reports it; requests sent earlier
    // would still be queued by the listening socket.
    while (!m_server->is_running()) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void DevServer::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_server->stop();
}

void DevServer::setFaults(const FaultOptions& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

FaultOptions DevServer::faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void DevServer::setRequestLog(std::function<void(const std::string&)> logger)
{
    std::lock_guard lock(m_mutex);
    m_log = std::move(logger);
}

void DevServer::log(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    if (m_log)
        m_log(line);
}

void DevServer::pause(long ms)
{
    pauseUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

void DevServer::pauseUntil(std::chrono::steady_clock::time_point when)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, when, [this] { return m_stopping; });
}

bool DevServer::stopping() const
{
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

void DevServer::handleApi(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader)
{
    const std::string method = req.matches.size() > 1 ? std::string(req.matches[1]) : std::string();
    const FaultOptions faults = this->faults();

    std::string body;
    uint64_t received = 0;
    bool dropped = false;
    if (faults.drop.appliesTo(method) && faults.dropAfter == 0) {
        dropped = true;
    } else {
        const bool slow = faults.rate.appliesTo(method);
        const auto start = std::chrono::steady_clock::now();
        reader([&](const char* data, size_t n) {
            if (faults.drop.appliesTo(method) && received + n >= faults.dropAfter) {
                dropped = true;
                return false;
            }
            received += n;
            body.append(data, n);
            if (slow)
                pauseUntil(start + std::chrono::milliseconds(received * 1000 / faults.bytesPerSecond));
            return !stopping();
        });
    }
    if (dropped) {
        DropConnection(req.local_port, req.remote_port);
        log("POST " + req.path + " " + method + ": connection dropped after " + std::to_string(received) +
            " body bytes");
        res.status = 500;
        return;
    }

    ApiRequest api;
    api.method = method;
    api.origin = OriginOf(req, origin(), m_secure);
    for (const auto& [name, value] : req.params)
        api.fields.emplace(name, value);
    const std::string boundary = BoundaryOf(req.get_header_value(kStashedType));
    for (FormPart& part : ParseMultipart(body, boundary)) {
        if (part.isFile)
            api.files.push_back(std::move(part));
        else
            api.fields.emplace(part.name, std::move(part.content));
    }

    if (faults.delay.appliesTo(method))
        pause(faults.delayMs);
    if (faults.status.appliesTo(method)) {
        res.status = faults.statusCode;
        res.set_content(std::to_string(faults.statusCode) + " server failure\n", "text/plain");
        log("POST " + req.path + " " + method + ": status " + std::to_string(faults.statusCode));
        return;
    }
    if (faults.redirect.appliesTo(method)) {
        res.set_redirect(faults.location, 302);
        log("POST " + req.path + " " + method + ": redirected to " + faults.location);
        return;
    }
    if (faults.garbage.appliesTo(method)) {
        res.set_content(GarbageReply(), "text/xml");
        log("POST " + req.path + " " + method + ": garbage reply");
        return;
    }
    const ApiReply reply = m_api.handle(api);
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
    if (std::string replacement; faults.reply.appliesTo(method) && ReadReplyFile(faults.replyFile, replacement)) {
        res.status = 200;
        res.set_content(replacement, "text/xml");
    }
    if (faults.trickle.appliesTo(method))
        trickleBody(res, faults.trickleBytesPerSecond);
    const auto user = api.fields.find("username");
    log("POST " + req.path + " " + method + " user=" + (user == api.fields.end() ? std::string() : user->second) +
        " -> " + std::to_string(reply.status) + " (" + std::to_string(body.size()) + " body bytes)");
}

void DevServer::trickleBody(httplib::Response& res, uint64_t bytesPerSecond)
{
    auto body = std::make_shared<const std::string>(std::move(res.body));
    const std::string type = res.get_header_value("Content-Type");
    res.body.clear();
    const auto start = std::chrono::steady_clock::now();
    res.set_content_provider(body->size(), type.c_str(),
                             [this, body, start, bytesPerSecond](size_t offset, size_t, httplib::DataSink& sink) {
                                 pauseUntil(start + std::chrono::milliseconds(offset * 1000 / bytesPerSecond));
                                 return !stopping() && sink.write(body->data() + offset, 1);
                             });
}

void DevServer::handlePage(const httplib::Request& req, httplib::Response& res)
{
    const auto q = req.target.find('?');
    const std::string query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    const Page page = ServePage(m_config, OriginOf(req, origin(), m_secure), req.path, query);
    res.status = page.status;
    if (!page.location.empty())
        res.set_header("Location", page.location);
    res.set_content(page.body, page.contentType.c_str());
    // How it was asked for: the agent, and whether a cached copy would do.
    log("GET " + req.path + " -> " + std::to_string(page.status) + " agent=\"" + req.get_header_value("User-Agent") +
        "\" cache-control=\"" + req.get_header_value("Cache-Control") + "\" pragma=\"" +
        req.get_header_value("Pragma") + "\"");
}

} // namespace quaylet::devserver
