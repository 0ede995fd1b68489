// The development service's form reader: the first line is the request's
// Content-Type value, the rest its body.

#include "devserver/multipart.h"
#include "fuzzsupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    const std::size_t lineEnd = text.find('\n');
    const std::string_view contentType = text.substr(0, lineEnd);
    const std::string_view body = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);
    const std::string boundary = quaylet::devserver::BoundaryOf(contentType);
    std::size_t contentBytes = 0;
    for (const auto& part : quaylet::devserver::ParseMultipart(body, boundary))
        contentBytes += part.content.size();
    if (contentBytes > body.size())
        std::abort();
    return 0;
}
