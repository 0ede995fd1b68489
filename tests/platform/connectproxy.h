#pragma once

// What an https service behind a proxy needs in a test: a certificate for a
// made-up host name, made with the openssl command, and a proxy on loopback
// that answers CONNECT to any host by tunnelling to one local port. The
// client never resolves the host name itself; the proxy does, so the name
// must only match the certificate.

#include "platform/loopbackserver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::test {

// The host name the test certificate is made for.
inline constexpr const char* kTunnelHost = "service.test";

struct TestCertificate {
    std::string certificate; // PEM, self-signed: also the CA file to trust
    std::string key;         // PEM
};

// Makes a fresh certificate for kTunnelHost in the folder; nothing when the
// openssl command is missing or fails.
std::optional<TestCertificate> MakeTestCertificate(const std::string& folder);

class ConnectProxy final {
public:
    explicit ConnectProxy(uint16_t targetPort);

    // "http://127.0.0.1:port", for https_proxy.
    std::string address() const { return m_server.origin(); }
    // The request lines the proxy was sent ("CONNECT host:port HTTP/1.1").
    std::vector<std::string> requestLines() const;

private:
    void tunnel(int client);

    uint16_t m_targetPort;
    LoopbackServer m_server;
};

} // namespace quaylet::test
