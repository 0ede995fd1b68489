#include "api/signin.h"

#include "api/apirequest.h"
#include "api/requestcomposer.h"
#include "api/xmlreply.h"
#include "core/logfile.h"

#include <exception>

namespace quaylet {

int HTTPMethodLogin(const std::string& userName, const std::string& passwordHash, std::string& errorText)
{
    int result = -4;
    errorText.clear();
    WriteLog(LogTrace, "HTTPMethodLoin: Begin");
    try {
        const ComposedRequest request = ComposeRequest(kMethodLogin, {{"appid", kApplicationId},
                                                                      {"output", kOutputFormat},
                                                                      {"username", userName},
                                                                      {"passwordhash", passwordHash}});
        // The path carries the password hash; the log shows it masked.
        WriteLog(LogTrace, "HTTPMethodLogin: Type: HTTP_VERB_POST ConURI: %s", MaskPasswordHash(request.path).c_str());
        const ExchangeResult exchange = ExchangeApiRequest(request);
        switch (exchange.outcome) {
        case ExchangeOutcome::RequestNotOpened:
            WriteLog(LogMilestone, "HTTPMethodLogin: OpenRequest failed!!!");
            break;
        case ExchangeOutcome::Failed:
            WriteLog(LogMilestone, "HTTPMethodLogin: Exception caught!!!");
            break;
        case ExchangeOutcome::Replied: {
            const std::string reply = WrapReplyRoot(exchange.reply, "user");
            std::string success;
            if (ProcessXMLResponse(reply, "/user/success", success) == 1 && ReplyInteger(success) == 1) {
                result = 1;
            } else {
                std::string errors;
                if (ProcessXMLResponse(reply, "/user/errors", errors) == 1)
                    errorText = errors;
            }
            WriteLog(LogTrace, "HTTPMethodLogin: Response: %s", reply.c_str());
            break;
        }
        }
    } catch (...) {
        WriteLog(LogMilestone, "HTTPMethodLogin: Exception caught!!!");
        result = -4;
    }
    WriteLog(LogTrace, "HTTPMethodLogin: End: Return: %d", result);
    return result;
}

} // namespace quaylet
