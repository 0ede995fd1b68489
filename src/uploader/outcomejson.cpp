#include "uploader/outcomejson.h"

#include "platform/utf8.h"

#include <charconv>

namespace quaylet {

namespace {

constexpr char kHex[] = "0123456789abcdef";

} // namespace

std::string JsonStringLiteral(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t at = 0; at < text.size();) {
        char32_t ignored = 0;
        const std::size_t length = platform::DecodeUtf8(text, at, ignored);
        const auto c = static_cast<unsigned char>(text[at]);
        if (length == 0) {
            out += "\\\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    out += '"';
    return out;
}

std::string OutcomeJsonLine(const FileOutcome& outcome)
{
    // Not printf: the application object takes the user's locale, whose
    // decimal separator may be a comma.
    char seconds[32];
    const auto end = std::to_chars(seconds, seconds + sizeof seconds, outcome.seconds, std::chars_format::fixed, 3).ptr;
    const std::string numbers = ",\"bytes_sent\":" + std::to_string(outcome.bytesSent) + ",\"seconds\":" +
                                std::string(seconds, end);
    return std::string("{\"path\":") + JsonStringLiteral(outcome.path) + ",\"outcome\":\"" +
           OutcomeKindName(outcome.kind) + "\",\"result\":" +
           (outcome.result ? std::to_string(*outcome.result) : std::string("null")) + numbers +
           ",\"reason\":" + JsonStringLiteral(OutcomeReason(outcome)) + "}";
}

} // namespace quaylet
