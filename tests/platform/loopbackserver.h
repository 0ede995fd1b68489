#pragma once

// A raw TCP server on 127.0.0.1 for tests that need the exact bytes of a
// request or a server that misbehaves on purpose (never answers, drops the
// connection, sends garbage). Each accepted connection is handed to the
// handler on the server's own thread, one connection at a time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quaylet::test {

struct RawRequest {
    std::string head; // request line and headers, up to and including the blank line
    std::string body; // Content-Length bytes (or fewer when the peer stopped)
    bool complete = false;
};

class LoopbackServer final {
public:
    using Handler = std::function<void(int fd)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return m_port; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // Set when the server is told to stop; handlers that wait should watch it.
    bool stopping() const { return m_stop.load(); }

    // Reads one request: its head and as many body bytes as Content-Length says.
    static RawRequest ReadRequest(int fd, std::chrono::milliseconds timeout = std::chrono::milliseconds{5000});
    static void SendAll(int fd, const std::string& bytes);
    // A complete HTTP/1.0-style reply that ends with closing the connection.
    static std::string Reply(const std::string& body, int status = 200,
                             const std::string& contentType = "text/xml");

    // The requests read by handlers that use Record().
    void Record(const RawRequest& request);
    std::vector<RawRequest> requests() const;

private:
    void run();
    Handler m_handler;
    int m_listenFd = -1;
    int m_wakeFd[2] = {-1, -1};
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<RawRequest> m_requests;
    std::thread m_thread;
};

} // namespace quaylet::test
