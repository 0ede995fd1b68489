#include "api/uploadcall.h"

#include "api/apirequest.h"
#include "api/endpoints.h"
#include "api/requestcomposer.h"
#include "api/xmlreply.h"
#include "core/logfile.h"
#include "core/stringtable.h"
#include "http/errors.h"
#include "http/httpclient.h"
#include "platform/asciitext.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <string_view>

namespace quaylet {

namespace {

// Each stored in a 16-byte slot in the original layout; indexed by type - 1.
constexpr const char* kMediaTypeTexts[] = {"photo", "video", "video_no_meta"};

const char* mediaTypeText(int type)
{
    return type >= 1 && type <= 3 ? kMediaTypeTexts[type - 1] : "";
}

// Local date and time of the media; a time the conversion rejects gives the
// date 00000000 and the time -1-1-1.
void formatMediaTime(int64_t mediaTime, std::string& date, std::string& time)
{
    int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
    const std::time_t t = static_cast<std::time_t>(mediaTime);
    std::tm local = {};
    if (static_cast<int64_t>(t) == mediaTime && ::localtime_r(&t, &local) != nullptr) {
        year = local.tm_year + 1900;
        month = local.tm_mon + 1;
        day = local.tm_mday;
        hour = local.tm_hour;
        minute = local.tm_min;
        second = local.tm_sec;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    date = text;
    std::snprintf(text, sizeof text, "%02d%02d%02d", hour, minute, second);
    time = text;
}

// The part of the loop that runs once per piece: keeps the last text so that
// an unchanged percentage costs no formatting.
class ProgressReporter {
public:
    explicit ProgressReporter(IUploadObserver& observer) : m_observer(observer) {}

    void report(uint32_t total, uint32_t posted)
    {
        if (total != 0) {
            m_total = total;
            m_posted = posted;
            m_observer.setBytesPosted(posted, total);
            const int p = UploadPercentage(posted, total);
            if (p != m_percentage || m_text.empty()) {
                m_percentage = p;
                char text[128];
                std::snprintf(text, sizeof text, "%s: %d%%", LoadString(str::Uploading), p);
                m_text = text;
            }
        }
        m_observer.setProgressPosition(m_percentage);
        if (m_percentage >= 98)
            m_observer.setStatusText(m_text);
        else
            m_observer.setStatusTextLimited(m_text);
    }

    uint32_t total() const { return m_total; }
    uint32_t posted() const { return m_posted; }
    int lastPercentage() const { return m_percentage; }

private:
    IUploadObserver& m_observer;
    uint32_t m_total = 0;
    uint32_t m_posted = 0;
    int m_percentage = 0;
    std::string m_text;
};

enum class ReplyRead { Whole, TooLarge };

// The reply in reads of at most 511 bytes; the text is what was read up to
// its first zero byte.
ReplyRead readReply(Velto::CHttpResponseT& response, std::string& reply)
{
    char chunk[kUploadReadChunk];
    while (const std::size_t n = response.ReadContent(chunk, sizeof chunk)) {
        if (reply.size() + n > kMaxUploadReply)
            return ReplyRead::TooLarge;
        reply.append(chunk, n);
    }
    if (const auto zero = reply.find('\0'); zero != std::string::npos)
        reply.resize(zero);
    return ReplyRead::Whole;
}

int resultOf(const std::string& reply)
{
    std::string stat;
    if (ProcessXMLResponse(reply, "/rsp/stat", stat) != 1)
        return -4;
    // Blanks and line breaks around a reply's text carry no meaning.
    if (platform::EqualsNoCase(platform::Trim(stat), "ok"))
        return 1;
    std::string errcode;
    if (ProcessXMLResponse(reply, "/rsp/errcode", errcode) != 1)
        return -4; // a failure without a code is still a failure
    return ReplyInteger(errcode);
}

} // namespace

int UploadPercentage(uint32_t posted, uint32_t total)
{
    return total == 0 ? 0 : static_cast<int>(static_cast<uint64_t>(posted) * 100u / total);
}

int HTTPMethodUpload(IUploadObserver& observer, const std::string& mediaPath, const std::string& userName,
                     const std::string& password, int mediaType, int64_t mediaTime)
{
    int result = -8;
    WriteLog(LogTrace, "HTTPMethodUpload: Begin");
    Velto::CHttpClientT client;
    try {
        // The body length is a 32-bit value: such a file cannot be described,
        // so it is refused before anything is sent.
        struct stat info = {};
        if (::stat(mediaPath.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > UINT32_MAX) {
            WriteLog(LogMilestone, "HTTPMethodUpload: %s is too large to upload (%llu bytes, 4 GiB or more)",
                     mediaPath.c_str(), static_cast<unsigned long long>(info.st_size));
            WriteLog(LogTrace, "HTTPMethodUpload: End");
            return -8;
        }

        Velto::CHttpPostStatT stat;
        // A missing or unreadable media file fails the start instead of being
        // sent as an empty part the service would store.
        client.SetStrictFileCheck(true);
        // A write that blocks on a stalled service still ends on cancel.
        client.SetAbortCheck([&observer] { return observer.cancelRequested(); });

        const std::string address = UploadAddress();
        std::string date, time;
        formatMediaTime(mediaTime, date, time);
        client.AddParam("appid", kApplicationId);
        client.AddParam("output", kOutputFormat);
        client.AddParam("username", userName.c_str());
        client.AddParam("password", password.c_str());
        client.AddParam("date", date.c_str());
        client.AddParam("time", time.c_str());
        client.AddParam("type", mediaTypeText(mediaType));
        client.AddParam("media", mediaPath.c_str(), Velto::kParamFile);
        // The cancel also interrupts the network layer, which would fail the
        // start itself; a file cancelled already is not started at all and
        // ends below like any cancel, progress line included.
        if (!observer.cancelRequested())
            client.StartUpload(address, false);
        observer.setProgressMaximum(100);

        ProgressReporter progress(observer);
        std::unique_ptr<Velto::CHttpResponseT> response;
        while (!response && !observer.cancelRequested()) {
            client.QueryPostStat(stat);
            progress.report(stat.ActualTotalByte(), stat.ActualPostedByte());
            response = client.ProceedPost(kUploadPiece);
        }
        WriteLog(LogTrace, "Upload: Total: %d, Posted: %d, Percentage: %d", static_cast<int>(progress.total()),
                 static_cast<int>(progress.posted()), progress.lastPercentage());
        // Only a cancel that stopped the exchange counts: once the reply is
        // here, the service has decided and its answer is the result.
        if (!response)
            throw Velto::httpclientexceptionA("Upload cancelled", 0, 0);

        std::string reply;
        const ReplyRead read = readReply(*response, reply);
        response.reset();
        WriteLog(LogTrace, "HTTPMethodUpload: Response: %s", reply.c_str());
        if (read == ReplyRead::TooLarge) {
            WriteLog(LogMilestone, "HTTPMethodUpload: the reply is larger than %zu bytes", kMaxUploadReply);
            result = -4;
        } else {
            result = resultOf(reply);
        }
    } catch (const Velto::httpclientexceptionA& e) {
        // A cancel that interrupted a blocked network call is still the
        // cancel, with its 0 and 0. A failure of the network that came first
        // keeps its codes, even when a cancel came meanwhile.
        if (client.Interrupted()) {
            WriteLog(LogMilestone, "HTTPMethodUpload: Exception :0, 0");
        } else {
            WriteLog(LogMilestone, "HTTPMethodUpload: Exception :%d, %d", e.ErrorCode(), e.Win32Error());
            if (e.ErrorCode() != 0)
                WriteLog(LogMilestone, "HTTPMethodUpload: %s", e.ErrorMessage());
        }
        result = -8;
    } catch (...) {
        WriteLog(LogMilestone, "HTTPMethodUpload: Exception caught!!!");
        result = -8;
    }
    WriteLog(LogTrace, "HTTPMethodUpload: End");
    return result;
}

} // namespace quaylet
