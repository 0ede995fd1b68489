#pragma once

// The development service as an object: binds to an address, serves the API,
// the pages and the version file until stop(). The executable wraps it; tests
// may run it in-process.
//
// Threads: the HTTP library answers each connection on a worker thread of its
// own pool; the configuration is fixed after construction except the fault
// options, which are guarded by m_mutex and may change while serving.

#include "devserver/apimethods.h"
#include "devserver/config.h"
#include "devserver/faults.h"
#include "devserver/mediastore.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
} // namespace httplib

namespace quaylet::devserver {

// A PEM certificate and its key; with a certificate the service speaks https
// only.
struct TlsFiles {
    std::string certificate;
    std::string key;
};

class DevServer final {
public:
    DevServer(DevConfig config, std::string dataDir, const TlsFiles& tls = {});
    ~DevServer(); // stops and waits for the serving thread
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Binds to host:port; port 0 picks a free port. False with a reason.
    bool bind(const std::string& host, int port, std::string& error);
    int port() const { return m_port; }
    std::string origin() const;

    void run();   // serves on the calling thread until stop()
    void start(); // serves on a thread of its own
    void stop();  // from any thread (and from a signal-watching thread)

    void setFaults(const FaultOptions& faults);
    FaultOptions faults() const;

    // One line per request (method, path, outcome); passwords are never in it.
    void setRequestLog(std::function<void(const std::string&)> log);

    const DevConfig& config() const { return m_config; }
    MediaStore& store() { return m_store; }

private:
    void handleApi(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
    void handlePage(const httplib::Request& req, httplib::Response& res);
    // Sends the reply's body at bytesPerSecond instead of at once.
    void trickleBody(httplib::Response& res, uint64_t bytesPerSecond);
    // Sleeps up to ms (or until `when`), ending early when the server stops.
    void pause(long ms);
    void pauseUntil(std::chrono::steady_clock::time_point when);
    bool stopping() const;
    void log(const std::string& line);

    DevConfig m_config;
    MediaStore m_store;
    ApiMethods m_api;
    std::unique_ptr<httplib::Server> m_server;
    bool m_secure = false;
    std::string m_host = "127.0.0.1";
    int m_port = 0;
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards m_faults, m_stopping, m_log
    std::condition_variable m_wake;
    FaultOptions m_faults;
    bool m_stopping = false;
    std::function<void(const std::string&)> m_log;
};

} // namespace quaylet::devserver
