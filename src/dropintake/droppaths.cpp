#include "dropintake/droppaths.h"

#include "dropintake/pathtext.h"
#include "platform/asciitext.h"
#include "platform/hexdigit.h"
#include "platform/internet.h"

namespace quaylet {

namespace {

// Every '%' must start an escape of two hex digits: a URI broken that way
// names no file, and decoding it leniently could name the wrong one.
bool escapesWellFormed(std::string_view text)
{
    for (std::size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 3)) {
        if (i + 2 >= text.size() || platform::HexDigitValue(text[i + 1]) < 0 ||
            platform::HexDigitValue(text[i + 2]) < 0)
            return false;
    }
    return true;
}

} // namespace

std::optional<std::string> LocalPathFromFileUri(std::string_view uri)
{
    if (!platform::StartsWithNoCase(uri, "file:"))
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
        if (!host.empty() && !platform::EqualsNoCase(host, "localhost"))
            return std::nullopt;
        rest = rest.substr(slash);
    }
    if (!rest.starts_with('/'))
        return std::nullopt;
    if (!escapesWellFormed(rest))
        return std::nullopt;
    std::string path = platform::PercentDecode(rest);
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
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
