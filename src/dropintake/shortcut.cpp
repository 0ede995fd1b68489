#include "dropintake/shortcut.h"

#include "dropintake/droppaths.h"
#include "platform/uniquefd.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet {

namespace {

// Desktop links are small text files; anything larger is not read at all, so
// that trying every dropped photo as a shortcut stays cheap.
constexpr off_t kMaxDesktopEntrySize = 64 * 1024;

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The escapes a desktop entry's string values may carry.
std::string unescapeValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
            break;
        }
    }
    return out;
}

std::string readSmallRegularFile(const std::string& path)
{
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid())
        return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxDesktopEntrySize ||
        st.st_size == 0)
        return {};
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

} // namespace

std::string DesktopLinkTarget(const std::string& text)
{
    // Only the first non-comment line decides whether this is a desktop entry
    // at all; most files tried here are photos and fail on their first bytes.
    std::string_view rest(text);
    bool inEntryGroup = false;
    bool sawGroup = false;
    std::string type, url;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inEntryGroup = line == "[Desktop Entry]";
            if (!sawGroup && !inEntryGroup)
                return {};
            sawGroup = true;
            continue;
        }
        if (!sawGroup)
            return {};
        if (!inEntryGroup)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key == "Type") {
            type = unescapeValue(value);
        } else if (key == "URL") {
            url = unescapeValue(value);
        } else if (key == "URL[$e]" && url.empty()) {
            // Some file managers write the home folder as $HOME here.
            url = unescapeValue(value);
            const char* home = std::getenv("HOME");
            for (const char* prefix : {"file://$HOME", "file:$HOME"}) {
                if (home && url.starts_with(prefix))
                    url = std::string("file://") + home + url.substr(std::string_view(prefix).size());
            }
        }
    }
    if (type != "Link" || url.empty())
        return {};
    return LocalPathFromFileUri(url).value_or(std::string{});
}

std::string ExpandShortcut(const std::string& path)
{
    if (path.empty())
        return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
        return resolved ? std::string(resolved.get()) : std::string{};
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxDesktopEntrySize)
        return DesktopLinkTarget(readSmallRegularFile(path));
    return {};
}

} // namespace quaylet
