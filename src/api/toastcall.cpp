#include "api/toastcall.h"

#include "api/apirequest.h"
#include "api/requestcomposer.h"
#include "api/xmlreply.h"
#include "core/logfile.h"

namespace quaylet {

namespace {

void fillRecord(const std::string& reply, const std::string& title, ToastRecord& record)
{
    record.reply = reply;
    record.title = title;
    ProcessXMLResponse(reply, "/toast/src", record.imageAddress);
    ProcessXMLResponse(reply, "/toast/name", record.name);
    ProcessXMLResponse(reply, "/toast/message", record.message);
    ProcessXMLResponse(reply, "/toast/href", record.link);
    // Without a "poll" element the period is left open, and the poller keeps
    // its interval, rather than reading a number out of the title.
    std::string poll;
    if (ProcessXMLResponse(reply, "/toast/poll", poll) == 1)
        record.pollPeriod = ReplyInteger(poll);
    else
        record.pollPeriod.reset();
}

} // namespace

int HTTPMethodGetToast(const std::string& userName, ToastRecord& record)
{
    int result = -4;
    WriteLog(LogTrace, "HTTPMethodGetToast: Begin");
    try {
        const ComposedRequest request = ComposeRequest(
            kMethodGetToast, {{"appid", kApplicationId}, {"output", kOutputFormat}, {"username", userName}});
        WriteLog(LogTrace, "HTTPMethodGetToast: Type: HTTP_VERB_POST URI: %s", request.path.c_str());
        const ExchangeResult exchange = ExchangeApiRequest(request);
        switch (exchange.outcome) {
        case ExchangeOutcome::RequestNotOpened:
            WriteLog(LogMilestone, "HTTPMethodGetToast: OpenRequest failed!!!");
            break;
        case ExchangeOutcome::Failed:
            WriteLog(LogMilestone, "HTTPMethodGetToast: exception caught!!!");
            break;
        case ExchangeOutcome::Replied: {
            std::string title;
            result = ProcessXMLResponse(exchange.reply, "/toast/title", title);
            if (result == 1)
                fillRecord(exchange.reply, title, record);
            WriteLog(LogTrace, "HTTPMethodGetToast: Response");
            break;
        }
        }
    } catch (...) {
        WriteLog(LogMilestone, "HTTPMethodGetToast: exception caught!!!");
        result = -4;
    }
    WriteLog(LogTrace, "HTTPMethodGetToast: End");
    return result;
}

} // namespace quaylet
