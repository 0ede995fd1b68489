#include "dropintake/droppaths.h"

#include "platform/hexdigit.h"

namespace quaylet {

namespace {

std::optional<std::string> percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int hi = platform::HexDigitValue(text[i + 1]);
        const int lo = platform::HexDigitValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (out.find('\0') != std::string::npos)
        return std::nullopt;
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::optional<std::string> LocalPathFromFileUri(std::string_view uri)
{
    if (!startsWithNoCase(uri, "file:"))
        return std::nullopt;
    std::string_view rest = uri.substr(5);
    // A query or fragment is not part of a file's name ('#' and '?' in names are escaped).
    if (const std::size_t cut = rest.find_first_of("?#"); cut != std::string_view::npos)
        rest = rest.substr(0, cut);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !startsWithNoCase(host, "localhost"))
            return std::nullopt;
        if (!host.empty() && host.size() != 9)
            return std::nullopt;
        rest = rest.substr(slash);
    }
    if (!rest.starts_with('/'))
        return std::nullopt;
    return percentDecode(rest);
}

std::vector<std::string> PathsFromUriList(std::string_view uriList)
{
    std::vector<std::string> paths;
    std::size_t pos = 0;
    while (pos < uriList.size()) {
        std::size_t end = uriList.find('\n', pos);
        if (end == std::string_view::npos)
            end = uriList.size();
        std::string_view line = uriList.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (auto path = LocalPathFromFileUri(line))
            paths.push_back(std::move(*path));
    }
    return paths;
}

} // namespace quaylet
