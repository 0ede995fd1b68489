#include "api/requestcomposer.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "platform/internet.h"

namespace quaylet {

const std::string RequestBoundary = std::string(16, '-') + kBoundaryName;

std::string MakeHTTPTag(const std::string& boundaryName, const std::string& name, const std::string& value,
                        std::string& path)
{
    WriteLog(LogTrace, "MakeHTTPTag: Begin");
    std::string part = std::string(16, '-') + boundaryName + "\r\nContent-Disposition: form-data; name=\"" + name +
                       "\"\r\n\r\n" + value + "\r\n";
    path += "&" + name + "=" + platform::PercentEncode(value);
    WriteLog(LogTrace, "MakeHTTPTag: End");
    return part;
}

std::string MakePostFileData(const std::string& boundary)
{
    WriteLog(LogTrace, "MakePostFileData: Begin");
    std::string text = "\r\n" + boundary;
    WriteLog(LogTrace, "MakePostFileData: End");
    return text;
}

std::string MakeRequestHeaders(const std::string& boundary)
{
    WriteLog(LogTrace, "MakeRequestHeaders: Begin");
    std::string text = "Accept: text/xml\r\nAccept-Language: en-us\r\nConnection: Keep-Alive\r\n"
                       "Content-Type: multipart/form-data; boundary=" +
                       boundary + "\r\n";
    WriteLog(LogTrace, "MakeRequestHeaders: End");
    return text;
}

ComposedRequest ComposeRequest(const char* methodText, const RequestFields& fields)
{
    ComposedRequest r;
    r.path = std::string("/") + kVersionWord + "/" + methodText;
    for (const auto& [name, value] : fields)
        r.parts += MakeHTTPTag(kBoundaryName, name, value, r.path);
    r.closing = MakePostFileData(RequestBoundary);
    r.headers = MakeRequestHeaders(RequestBoundary);
    r.contentLength = r.parts.size() + r.closing.size();
    return r;
}

std::string UploadAddress()
{
    return ApiHostAddress() + "/" + kVersionWord + "/" + kMethodUpload;
}

std::string MaskPasswordHash(const std::string& path)
{
    static const std::string key = "&passwordhash=";
    std::string out = path;
    std::size_t pos = 0;
    while ((pos = out.find(key, pos)) != std::string::npos) {
        const std::size_t value = pos + key.size();
        const std::size_t end = out.find('&', value);
        out.replace(value, end == std::string::npos ? std::string::npos : end - value, "***");
        pos = value + 3;
    }
    return out;
}

} // namespace quaylet
