#pragma once

// Faults the client must survive, switched on by options:
//
//   garbage[@Method]   answer with bytes that are not XML
//   delay=MS[@Method]  wait MS milliseconds before answering
//   drop=N[@Method]    drop the connection after N bytes of the request body
//   reply=FILE[@Method] handle the request as usual (an upload is stored), then
//                      answer with the bytes of FILE instead of the method's reply
//   rate=BYTES_PER_S[@Method]  read the request body at this rate; given at
//                      start, it also makes the receive buffer of every
//                      connection small, so that the client sees its bytes
//                      leave at that rate too (not after a burst into a buffer)
//   status=CODE[@Method] read the request, store nothing, and answer with that
//                      HTTP status and a short plain-text page, as a failing
//                      server in front of the service would
//   redirect=URL[@Method] read the request, store nothing, and answer 302 with
//                      Location: URL (any text, e.g. a file: address)
//   trickle=BYTES_PER_S[@Method] handle the request as usual, then send the
//                      reply's body at this rate, one byte at a time, so that
//                      bytes keep moving but the reply takes long to end
//
// Method is an API method name ("User.login", "Media.upload", ...); without it
// the fault applies to every API request.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet::devserver {

struct FaultRule {
    bool enabled = false;
    std::string method; // empty: every method
    bool appliesTo(const std::string& m) const { return enabled && (method.empty() || method == m); }
};

struct FaultOptions {
    FaultRule garbage;
    FaultRule delay;
    long delayMs = 0;
    FaultRule drop;
    uint64_t dropAfter = 0;
    FaultRule reply;
    std::string replyFile;
    FaultRule rate;
    uint64_t bytesPerSecond = 0;
    FaultRule status;
    int statusCode = 0;
    FaultRule redirect;
    std::string location;
    FaultRule trickle;
    uint64_t trickleBytesPerSecond = 0;
};

// The receive buffer of the connections while a rate fault is on.
inline constexpr int kSlowReceiveBuffer = 4096;

// Makes the socket's (and, for a listening socket, its future connections')
// receive buffer small.
void ShrinkReceiveBuffer(int socket);

// The bytes of a reply file; false when it cannot be read.
bool ReadReplyFile(const std::string& path, std::string& bytes);

// Adds one fault written as above; false (with a reason) when it is malformed.
bool ParseFault(const std::string& text, FaultOptions& faults, std::string& error);

// The body of a garbage reply: neither XML nor text.
std::string GarbageReply();

// Drops the TCP connection between the two local and remote ports (the
// service's side of it), so the client sees its request cut off.
void DropConnection(int localPort, int remotePort);

} // namespace quaylet::devserver
