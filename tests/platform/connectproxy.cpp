#include "platform/connectproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace quaylet::test {

std::optional<TestCertificate> MakeTestCertificate(const std::string& folder)
{
    TestCertificate files{folder + "/service-cert.pem", folder + "/service-key.pem"};
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                " -subj /CN=" + std::string(kTunnelHost) + " -addext subjectAltName=DNS:" +
                                kTunnelHost + " -keyout '" + files.key + "' -out '" + files.certificate +
                                "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return files;
}

ConnectProxy::ConnectProxy(uint16_t targetPort)
    : m_targetPort(targetPort)
    , m_server([this](int fd) { tunnel(fd); })
{
}

std::vector<std::string> ConnectProxy::requestLines() const
{
    std::vector<std::string> lines;
    for (const RawRequest& request : m_server.requests())
        lines.push_back(request.head.substr(0, request.head.find("\r\n")));
    return lines;
}

void ConnectProxy::tunnel(int client)
{
    const RawRequest request = LoopbackServer::ReadRequest(client);
    m_server.Record(request);
    if (!request.complete || request.head.rfind("CONNECT ", 0) != 0) {
        LoopbackServer::SendAll(client, "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    const int service = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_targetPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (service < 0 || ::connect(service, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        LoopbackServer::SendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
        if (service >= 0)
            ::close(service);
        return;
    }
    // What a proxy says before the tunnel carries the service's bytes: a
    // status and headers of its own, which are not the service's reply.
    LoopbackServer::SendAll(client, "HTTP/1.1 200 Connection established\r\nProxy-Agent: test-proxy\r\n\r\n");
    if (!request.body.empty())
        LoopbackServer::SendAll(service, request.body);
    char buffer[64 * 1024];
    pollfd ends[2] = {{client, POLLIN, 0}, {service, POLLIN, 0}};
    while (!m_server.stopping()) {
        if (::poll(ends, 2, 100) < 0)
            break;
        bool closed = false;
        for (int i = 0; i < 2 && !closed; ++i) {
            if ((ends[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const ssize_t n = ::read(ends[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                closed = true;
                break;
            }
            LoopbackServer::SendAll(ends[1 - i].fd, std::string(buffer, static_cast<std::size_t>(n)));
        }
        if (closed)
            break;
    }
    ::close(service);
}

} // namespace quaylet::test
