#include "devserver/multipart.h"

#include "platform/asciitext.h"

#include <algorithm>
#include <cctype>

namespace quaylet::devserver {

namespace {

// The value of a parameter such as name="x" in a header value.
std::string ParamOf(std::string_view header, std::string_view param)
{
    std::size_t pos = 0;
    while ((pos = header.find(param, pos)) != std::string_view::npos) {
        const bool atStart = pos == 0 || header[pos - 1] == ' ' || header[pos - 1] == ';';
        const std::size_t after = pos + param.size();
        if (atStart && after < header.size() && header[after] == '=') {
            std::size_t v = after + 1;
            if (v < header.size() && header[v] == '"') {
                const std::size_t end = header.find('"', v + 1);
                return std::string(header.substr(v + 1, end == std::string_view::npos ? std::string_view::npos : end - v - 1));
            }
            const std::size_t end = header.find(';', v);
            std::string_view raw = header.substr(v, end == std::string_view::npos ? std::string_view::npos : end - v);
            while (!raw.empty() && raw.back() == ' ')
                raw.remove_suffix(1);
            return std::string(raw);
        }
        pos = after;
    }
    return {};
}

struct Delimiter {
    std::size_t start; // first byte of the delimiter line
    std::size_t end;   // first byte after it (after its CR LF, if any)
    bool closing;
};

std::vector<Delimiter> FindDelimiters(std::string_view body, std::string_view boundary)
{
    std::vector<Delimiter> out;
    std::size_t pos = 0;
    while ((pos = body.find(boundary, pos)) != std::string_view::npos) {
        auto atLineStart = [&](std::size_t x) { return x == 0 || (x >= 2 && body.substr(x - 2, 2) == "\r\n"); };
        std::size_t start = pos;
        if (pos >= 2 && body.substr(pos - 2, 2) == "--" && atLineStart(pos - 2))
            start = pos - 2;
        const bool lineStart = atLineStart(start);
        std::size_t after = pos + boundary.size();
        bool closing = false;
        if (body.substr(after, 2) == "--") {
            closing = true;
            after += 2;
        }
        const bool lineEnd = after == body.size() || body.substr(after, 2) == "\r\n";
        if (lineStart && lineEnd) {
            out.push_back({start, std::min(after + 2, body.size()), closing || after == body.size()});
            pos = after;
        } else {
            pos += 1;
        }
    }
    return out;
}

} // namespace

std::string BoundaryOf(std::string_view contentType)
{
    if (!platform::StartsWithNoCase(contentType, "multipart/form-data"))
        return {};
    return ParamOf(contentType, "boundary");
}

std::vector<FormPart> ParseMultipart(std::string_view body, std::string_view boundary)
{
    std::vector<FormPart> parts;
    if (boundary.empty())
        return parts;
    const auto delimiters = FindDelimiters(body, boundary);
    for (std::size_t i = 0; i + 1 < delimiters.size(); ++i) {
        if (delimiters[i].closing)
            break;
        std::size_t end = delimiters[i + 1].start;
        if (end >= 2 && body.substr(end - 2, 2) == "\r\n")
            end -= 2; // the line break before a delimiter belongs to it
        const std::size_t begin = delimiters[i].end;
        if (end < begin)
            continue;
        const std::string_view part = body.substr(begin, end - begin);
        const std::size_t headEnd = part.find("\r\n\r\n");
        if (headEnd == std::string_view::npos)
            continue;
        FormPart fp;
        std::string_view head = part.substr(0, headEnd);
        while (!head.empty()) {
            const std::size_t eol = head.find("\r\n");
            const std::string_view line = head.substr(0, eol);
            head = eol == std::string_view::npos ? std::string_view{} : head.substr(eol + 2);
            if (platform::StartsWithNoCase(line, "Content-Disposition:")) {
                fp.name = ParamOf(line, "name");
                fp.filename = ParamOf(line, "filename");
                fp.isFile = line.find("filename=") != std::string_view::npos;
            } else if (platform::StartsWithNoCase(line, "Content-Type:")) {
                std::string_view v = line.substr(13);
                while (!v.empty() && v.front() == ' ')
                    v.remove_prefix(1);
                fp.contentType = std::string(v);
            }
        }
        fp.content = std::string(part.substr(headEnd + 4));
        parts.push_back(std::move(fp));
    }
    return parts;
}

} // namespace quaylet::devserver
