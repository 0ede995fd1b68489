#include "platform/loopbackserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <strings.h>

namespace quaylet::test {

LoopbackServer::LoopbackServer(Handler handler)
    : m_handler(std::move(handler))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listenFd, 16) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (::pipe2(m_wakeFd, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    m_thread = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer()
{
    m_stop = true;
    (void)!::write(m_wakeFd[1], "x", 1);
    m_thread.join();
    ::close(m_listenFd);
    ::close(m_wakeFd[0]);
    ::close(m_wakeFd[1]);
}

void LoopbackServer::run()
{
    while (!m_stop) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        m_handler(fd);
        ::close(fd);
    }
}

RawRequest LoopbackServer::ReadRequest(int fd, std::chrono::milliseconds timeout)
{
    RawRequest req;
    std::string data;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t headEnd = std::string::npos;
    std::size_t wanted = 0;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                req.head = data.substr(0, headEnd + 4);
                data.erase(0, headEnd + 4);
                std::size_t pos = 0;
                while ((pos = req.head.find("\r\n", pos)) != std::string::npos) {
                    pos += 2;
                    if (::strncasecmp(req.head.c_str() + pos, "Content-Length:", 15) == 0)
                        wanted = std::strtoull(req.head.c_str() + pos + 15, nullptr, 10);
                }
            }
        }
        if (headEnd != std::string::npos && data.size() >= wanted) {
            req.body = data;
            req.complete = true;
            return req;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[65536];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    req.body = data;
    return req;
}

void LoopbackServer::SendAll(int fd, const std::string& bytes)
{
    std::size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += static_cast<std::size_t>(n);
    }
}

std::string LoopbackServer::Reply(const std::string& body, int status, const std::string& contentType)
{
    return "HTTP/1.0 " + std::to_string(status) + " X\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void LoopbackServer::Record(const RawRequest& request)
{
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
}

std::vector<RawRequest> LoopbackServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

} // namespace quaylet::test
