// The service's XML replies: every path the client reads, plain and with the
// root put around the reply as the account-information call does.

#include "api/xmlreply.h"
#include "fuzzsupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string reply(quaylet::fuzz::AsText(data, size));
    static const char* const kPaths[] = {"/rsp/stat",     "/rsp/errcode", "/toast/src",   "/toast/name",
                                         "/toast/message", "/toast/href",  "/toast/poll",  "/toast/title",
                                         "/user/premium", "/user/success", "/user/errors"};
    for (const char* path : kPaths) {
        std::string output = "untouched";
        const int result = quaylet::ProcessXMLResponse(reply, path, output);
        if (result != 1 && (result != -4 || output != "untouched"))
            std::abort();
    }
    const std::string wrapped = quaylet::WrapReplyRoot(reply, "user");
    std::string output;
    quaylet::ProcessXMLResponse(wrapped, "/user/success", output);
    quaylet::ProcessXMLResponse(wrapped, "/user/errors", output);
    return 0;
}
