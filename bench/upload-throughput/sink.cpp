// A discarding HTTP sink for the upload benchmark: reads every request body
// and throws it away as fast as the loopback allows, then answers with a
// successful upload reply. It must never be the bottleneck of a measurement.
//
//   sink [port]       prints "port N" once it listens on 127.0.0.1
//
// A body with Content-Length is read to that length; any other body (curl -T
// of a device sends it chunked) is read until the peer closes. "Expect:
// 100-continue" is answered at once so curl does not wait for it.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kBuffer = 1 << 20;

bool sendAll(int fd, const std::string& bytes)
{
    std::size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

const char* findHeader(const std::string& head, const char* name)
{
    const std::size_t length = std::char_traits<char>::length(name);
    for (std::size_t pos = head.find("\r\n"); pos != std::string::npos; pos = head.find("\r\n", pos + 2)) {
        if (::strncasecmp(head.c_str() + pos + 2, name, length) == 0)
            return head.c_str() + pos + 2 + length;
    }
    return nullptr;
}

void serve(int fd)
{
    std::vector<char> buffer(kBuffer);
    std::string head;
    std::size_t headEnd = std::string::npos;
    std::size_t extra = 0;
    while (headEnd == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            ::close(fd);
            return;
        }
        head.append(buffer.data(), static_cast<std::size_t>(n));
        headEnd = head.find("\r\n\r\n");
    }
    extra = head.size() - (headEnd + 4);
    head.resize(headEnd + 2);
    if (const char* expect = findHeader(head, "Expect:"); expect && std::string(expect).find("100") < 8)
        sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    const char* lengthText = findHeader(head, "Content-Length:");
    const bool known = lengthText != nullptr;
    unsigned long long left = known ? std::strtoull(lengthText, nullptr, 10) : 0;
    left = left > extra ? left - extra : 0;
    // The body goes from the socket through a pipe into /dev/null without
    // being copied to user space; plain reads are the fallback.
    int pipeFds[2] = {-1, -1};
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool zeroCopy = devNull >= 0 && ::pipe2(pipeFds, O_CLOEXEC) == 0;
    if (zeroCopy)
        ::fcntl(pipeFds[1], F_SETPIPE_SZ, static_cast<int>(kBuffer));
    while (!known || left > 0) {
        const std::size_t want = known && left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        ssize_t n = 0;
        if (zeroCopy) {
            n = ::splice(fd, nullptr, pipeFds[1], nullptr, want, SPLICE_F_MOVE);
            if (n > 0 && ::splice(pipeFds[0], nullptr, devNull, nullptr, static_cast<std::size_t>(n), SPLICE_F_MOVE) != n)
                n = -1;
        } else {
            n = ::recv(fd, buffer.data(), want, 0);
        }
        if (n <= 0)
            break;
        if (known)
            left -= static_cast<unsigned long long>(n);
    }
    if (zeroCopy) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
    }
    if (devNull >= 0)
        ::close(devNull);
    const std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rsp><stat>ok</stat></rsp>\n";
    sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n\r\n" + body);
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 64) != 0) {
        std::perror("sink: listen");
        return 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::printf("port %u\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::thread(serve, fd).detach();
    }
}
