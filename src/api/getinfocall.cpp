#include "api/getinfocall.h"

#include "api/apirequest.h"
#include "api/requestcomposer.h"
#include "api/xmlreply.h"
#include "core/logfile.h"

namespace quaylet {

int HTTPMethodGetInfo(const std::string& userName, int& premium)
{
    int result = -4;
    WriteLog(LogTrace, "HTTPMethodGetInfo: Begin");
    try {
        const ComposedRequest request = ComposeRequest(
            kMethodGetInfo, {{"appid", kApplicationId}, {"output", kOutputFormat}, {"username", userName}});
        WriteLog(LogTrace, "HTTPMethodGetInfo: Type: HTTP_VERB_POST ConURI: %s", request.path.c_str());
        const ExchangeResult exchange = ExchangeApiRequest(request);
        switch (exchange.outcome) {
        case ExchangeOutcome::RequestNotOpened:
            WriteLog(LogMilestone, "HTTPMethodGetInfo: OpenRequest failed!!!");
            break;
        case ExchangeOutcome::Failed:
            WriteLog(LogMilestone, "HTTPMethodGetInfo: the account information request failed: %s",
                     exchange.failure.c_str());
            break;
        case ExchangeOutcome::Replied: {
            std::string value;
            result = ProcessXMLResponse(exchange.reply, "/user/premium", value);
            if (result == 1)
                premium = ReplyInteger(value);
            WriteLog(LogTrace, "HTTPMethodGetInfo: Response: %s", exchange.reply.c_str());
            break;
        }
        }
    } catch (...) {
        WriteLog(LogMilestone, "HTTPMethodGetInfo: the account information request failed with an exception");
    }
    WriteLog(LogTrace, "HTTPMethodGetInfo: End: Return: %d Premium: %d", result, premium);
    return result;
}

int FetchPremiumFlag(const std::string& userName)
{
    int premium = 0;
    return HTTPMethodGetInfo(userName, premium) == 1 ? premium : 0;
}

} // namespace quaylet
