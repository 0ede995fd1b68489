// What another local process sends the running client over its socket: the
// input is cut into the pieces the socket delivers (the first byte chooses
// where), and must give the same messages as in one piece. The paths of an
// "open" sent by the client itself must arrive as they were given.

#include "app/instancemessage.h"
#include "fuzzsupport.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool sameMessages(const std::vector<quaylet::InstanceMessage>& a, const std::vector<quaylet::InstanceMessage>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].command != b[i].command || a[i].paths != b[i].paths)
            return false;
    return true;
}

std::vector<quaylet::InstanceMessage> readInPieces(std::string_view bytes, std::size_t piece)
{
    quaylet::InstanceMessageReader reader;
    std::vector<quaylet::InstanceMessage> messages;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::string_view part = bytes.substr(at, piece);
        for (auto& message : reader.feed(QByteArray(part.data(), static_cast<qsizetype>(part.size()))))
            messages.push_back(std::move(message));
    }
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    if (text.empty())
        return 0;
    const std::string_view stream = text.substr(1);
    const std::size_t piece = static_cast<unsigned char>(text[0]) % 16 + 1;
    if (!sameMessages(readInPieces(stream, piece), readInPieces(stream, stream.size() + 1)))
        std::abort();

    // The client's own "open": the non-empty pieces between NULs, in order.
    std::vector<std::string> paths;
    for (const std::string_view path : quaylet::fuzz::SplitInput(stream, '\0'))
        if (!path.empty())
            paths.emplace_back(path);
    const QByteArray sent = quaylet::OpenMessage(paths);
    const auto received = readInPieces(std::string_view(sent.constData(), static_cast<std::size_t>(sent.size())), piece);
    if (received.size() != 1 || received[0].command != "open" || received[0].paths != paths)
        std::abort();
    return 0;
}
