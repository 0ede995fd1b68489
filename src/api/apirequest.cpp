#include "api/apirequest.h"

#include "api/endpoints.h"
#include "platform/asciitext.h"
#include "platform/internet.h"

#include <cstring>
#include <vector>

namespace quaylet {

ExchangeResult ExchangeApiRequest(const ComposedRequest& request)
{
    using namespace platform;
    ExchangeResult result;
    const auto origin = ParseServiceOrigin(ApiHostAddress());
    if (!origin) {
        result.outcome = ExchangeOutcome::RequestNotOpened;
        result.failure = "unusable API address " + ApiHostAddress();
        return result;
    }
    InternetSession session;
    InternetConnection connection(session, origin->host, origin->port, origin->secure);
    InternetRequest req(connection, "POST", request.path, HttpVersion::Http10);

    auto failed = [&](const InternetError& e) {
        result.outcome = ExchangeOutcome::Failed;
        result.failure = std::string(InternetFailureName(e.failure)) + ": " + e.message;
        return result;
    };
    if (!req.addHeaders(request.headers, true) || !req.sendHead(request.contentLength) ||
        !req.write(request.parts.data(), request.parts.size()) ||
        !req.write(request.closing.data(), request.closing.size()) || !req.endRequest())
        return failed(req.lastError());

    std::size_t total = 0;
    std::vector<char> buffer;
    for (;;) {
        std::size_t available = 0;
        if (!req.queryAvailable(available))
            return failed(req.lastError());
        if (available == 0)
            break;
        total += available;
        if (total > kMaxReplyBytes) {
            result.outcome = ExchangeOutcome::Failed;
            result.failure = "reply larger than " + std::to_string(kMaxReplyBytes) + " bytes";
            return result;
        }
        buffer.resize(available);
        std::size_t got = 0;
        if (!req.read(buffer.data(), buffer.size(), got))
            return failed(req.lastError());
        // The reply is text: a zero byte ends what is taken of this chunk.
        const void* zero = std::memchr(buffer.data(), 0, got);
        result.reply.append(buffer.data(), zero != nullptr ? static_cast<const char*>(zero) - buffer.data() : got);
    }
    result.outcome = ExchangeOutcome::Replied;
    return result;
}

int ReplyInteger(const std::string& text)
{
    return platform::LeadingInteger(text);
}

} // namespace quaylet
