#pragma once

// The exchange shared by the small service requests: a fresh session,
// connection and request to the API host for every call; POST with HTTP/1.0,
// the four header lines added when new, the exact content length announced,
// the parts and the closing text written, the reply read to its end.
//
// Blocking; bounded by the internet layer's time-outs and interrupted by the
// calling thread's abort check (platform::ScopedInternetAbort).

#include "api/requestcomposer.h"

#include <cstddef>
#include <string>

namespace quaylet {

// A reply longer than this fails the exchange instead of filling memory.
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

enum class ExchangeOutcome {
    Replied,          // reply holds the reply text
    RequestNotOpened, // no request could be made (the API address is unusable)
    Failed,           // network failure, time-out, interruption or an oversized reply
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::Failed;
    // The reply as 8-bit text: each chunk as read, up to its first zero byte.
    std::string reply;
    std::string failure; // why, when not Replied
};

ExchangeResult ExchangeApiRequest(const ComposedRequest& request);

// The reply's integer: optional leading white space, an optional sign, then
// decimal digits up to the first other character; 0 without digits. Values
// beyond the 32-bit range are clamped.
int ReplyInteger(const std::string& text);

} // namespace quaylet
