#include "devserver/faults.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace quaylet::devserver {

namespace {

bool ParseNumber(const std::string& text, uint64_t& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

} // namespace

bool ParseFault(const std::string& text, FaultOptions& faults, std::string& error)
{
    std::string kind = text;
    std::string method;
    if (const auto at = text.find('@'); at != std::string::npos) {
        kind = text.substr(0, at);
        method = text.substr(at + 1);
        if (method.empty() || method == "all")
            method.clear();
    }
    std::string value;
    if (const auto eq = kind.find('='); eq != std::string::npos) {
        value = kind.substr(eq + 1);
        kind = kind.substr(0, eq);
    }
    uint64_t number = 0;
    if (kind == "garbage" && value.empty()) {
        faults.garbage = {true, method};
        return true;
    }
    if (kind == "delay" && ParseNumber(value, number)) {
        faults.delay = {true, method};
        faults.delayMs = static_cast<long>(number);
        return true;
    }
    if (kind == "drop" && ParseNumber(value, number)) {
        faults.drop = {true, method};
        faults.dropAfter = number;
        return true;
    }
    if (kind == "rate" && ParseNumber(value, number) && number > 0) {
        faults.rate = {true, method};
        faults.bytesPerSecond = number;
        return true;
    }
    if (kind == "status" && ParseNumber(value, number) && number >= 100 && number <= 599) {
        faults.status = {true, method};
        faults.statusCode = static_cast<int>(number);
        return true;
    }
    if (kind == "trickle" && ParseNumber(value, number) && number > 0) {
        faults.trickle = {true, method};
        faults.trickleBytesPerSecond = number;
        return true;
    }
    if (kind == "redirect" && !value.empty()) {
        faults.redirect = {true, method};
        faults.location = value;
        return true;
    }
    if (kind == "reply" && !value.empty()) {
        faults.reply = {true, method};
        faults.replyFile = value;
        return true;
    }
    error = "unknown fault \"" + text + "\" (use garbage, delay=MS, drop=N, rate=BYTES_PER_S, reply=FILE, status=CODE, redirect=URL or trickle=BYTES_PER_S, optionally @Method)";
    return false;
}

bool ReadReplyFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string GarbageReply()
{
    static constexpr char kBytes[] = "\x01\x7fgarbage<<<\xff\xfe not xml at all &&& ]]>\0tail";
    return std::string(kBytes, sizeof kBytes - 1);
}

void ShrinkReceiveBuffer(int socket)
{
    const int size = kSlowReceiveBuffer;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void DropConnection(int localPort, int remotePort)
{
    // The HTTP library does not hand the socket to handlers; find it among the
    // process's descriptors by its two ports.
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir))
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t llen = sizeof local, plen = sizeof peer;
        if (::getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &llen) != 0 ||
            ::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &plen) != 0)
            continue;
        auto portOf = [](const sockaddr_storage& a) {
            if (a.ss_family == AF_INET)
                return static_cast<int>(ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port));
            if (a.ss_family == AF_INET6)
                return static_cast<int>(ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port));
            return -1;
        };
        if (portOf(local) == localPort && portOf(peer) == remotePort) {
            // Unread data at close makes the kernel answer with a reset.
            linger l{1, 0};
            ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
            ::shutdown(static_cast<int>(fd), SHUT_RDWR);
        }
    }
    ::closedir(dir);
}

} // namespace quaylet::devserver
