#include "browsercookies/firefoxprofiles.h"

#include "platform/asciitext.h"

#include <map>
#include <set>
#include <sstream>

namespace quaylet::browsercookies {

using platform::StartsWithNoCase;
using platform::Trim;

namespace {

struct IniSection {
    std::string name;
    std::map<std::string, std::string> values;
};

std::vector<IniSection> ParseIni(const std::string& text)
{
    std::vector<IniSection> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#')
            continue;
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            sections.push_back({std::string(trimmed.substr(1, trimmed.size() - 2)), {}});
            continue;
        }
        const std::size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos || sections.empty())
            continue;
        sections.back().values[std::string(Trim(trimmed.substr(0, equals)))] =
            std::string(Trim(trimmed.substr(equals + 1)));
    }
    return sections;
}

std::string Value(const IniSection& section, const std::string& key)
{
    const auto it = section.values.find(key);
    return it == section.values.end() ? std::string() : it->second;
}

// A path said to be absolute that is not names nothing: read as it is, it
// would name a place under whatever the working folder is.
std::string Resolve(const std::string& folder, const std::string& path, bool relative)
{
    if (path.starts_with('/'))
        return path;
    return relative ? folder + "/" + path : std::string();
}

} // namespace

std::vector<std::string> FirefoxProfileFolders(const std::string& folder, const std::string& profilesIni,
                                               const std::string& installsIni)
{
    const std::vector<IniSection> sections = ParseIni(profilesIni);
    std::vector<std::string> installDefaults;
    std::vector<std::string> marked;
    std::vector<std::string> others;
    for (const IniSection& section : sections) {
        if (StartsWithNoCase(section.name, "Install")) {
            // Install defaults are always relative to the folder.
            if (const std::string path = Value(section, "Default"); !path.empty())
                installDefaults.push_back(Resolve(folder, path, true));
        } else if (StartsWithNoCase(section.name, "Profile")) {
            const std::string path = Value(section, "Path");
            if (path.empty())
                continue;
            const std::string resolved = Resolve(folder, path, Value(section, "IsRelative") != "0");
            (Value(section, "Default") == "1" ? marked : others).push_back(resolved);
        }
    }
    // Every section of installs.ini is an install.
    for (const IniSection& section : ParseIni(installsIni))
        if (const std::string path = Value(section, "Default"); !path.empty())
            installDefaults.push_back(Resolve(folder, path, true));
    std::vector<std::string> ordered;
    std::set<std::string> seen;
    for (const auto* list : {&installDefaults, &marked, &others})
        for (const std::string& path : *list)
            if (!path.empty() && seen.insert(path).second)
                ordered.push_back(path);
    return ordered;
}

} // namespace quaylet::browsercookies
