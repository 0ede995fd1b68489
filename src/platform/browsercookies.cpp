#include "platform/browsercookies.h"

#include "platform/firefoxprofiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace quaylet::platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kChromiumDefaultProfile = "Default";

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "";
}

bool IsFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::optional<std::string> ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Newer versions keep the database in a "Network" subfolder.
std::optional<std::string> ChromiumDatabase(const fs::path& profile)
{
    for (const fs::path& candidate : {profile / "Network" / "Cookies", profile / "Cookies"})
        if (IsFile(candidate))
            return candidate.string();
    return std::nullopt;
}

// "Default" first, then the other profiles ("Profile 1", ...) by name.
std::vector<std::string> ChromiumDatabases(const std::string& folder)
{
    std::vector<std::string> others;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name != kChromiumDefaultProfile && ChromiumDatabase(it->path()))
            others.push_back(name);
    }
    std::sort(others.begin(), others.end());
    others.insert(others.begin(), kChromiumDefaultProfile);
    std::vector<std::string> databases;
    for (const std::string& name : others)
        if (auto database = ChromiumDatabase(fs::path(folder) / name))
            databases.push_back(std::move(*database));
    return databases;
}

std::optional<std::string> NonEmpty(const std::optional<std::vector<StoredCookie>>& cookies,
                                    const CookieAddress& address)
{
    if (!cookies)
        return std::nullopt;
    std::string text = CookieHeaderText(*cookies, address);
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

} // namespace

BrowserCookieSources BrowserCookieSourcesUnder(const std::string& home)
{
    BrowserCookieSources sources;
    sources.firefoxFolders = {home + "/.mozilla/firefox", home + "/snap/firefox/common/.mozilla/firefox",
                              home + "/.var/app/org.mozilla.firefox/.mozilla/firefox"};
    sources.chromiumFolders = {home + "/.config/chromium", home + "/.config/google-chrome"};
    return sources;
}

BrowserCookieSources DefaultBrowserCookieSources()
{
    return BrowserCookieSourcesUnder(HomeFolder());
}

std::optional<std::string> BrowserCookieText(const std::string& siteAddress,
                                             const BrowserCookieSources& sources)
{
    const std::optional<CookieAddress> address = ParseCookieAddress(siteAddress);
    if (!address)
        return std::nullopt;
    const std::time_t now = std::time(nullptr);
    for (const std::string& folder : sources.firefoxFolders) {
        const std::optional<std::string> ini = ReadText(fs::path(folder) / "profiles.ini");
        if (!ini)
            continue;
        for (const std::string& profile : FirefoxProfileFolders(folder, *ini)) {
            const fs::path database = fs::path(profile) / "cookies.sqlite";
            if (!IsFile(database))
                continue;
            if (auto text = NonEmpty(ReadFirefoxCookies(database.string(), now), *address))
                return text;
        }
    }
    for (const std::string& folder : sources.chromiumFolders)
        for (const std::string& database : ChromiumDatabases(folder))
            if (auto text = NonEmpty(ReadChromiumCookies(database, now, *address, sources.note), *address))
                return text;
    return std::nullopt;
}

} // namespace quaylet::platform
