#include "browsercookies/browsercookies.h"

#include "browsercookies/firefoxprofiles.h"
#include "browsercookies/keyringpassword.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace quaylet::browsercookies {

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

// An absolute $XDG_CONFIG_HOME, or empty.
std::string ConfigHomeFromEnvironment()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return config != nullptr && config[0] == '/' ? config : "";
}

std::optional<std::string> ReadText(const fs::path& path)
{
    if (!IsFile(path))
        return std::nullopt;
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

// Each browser's password is asked for once: every site address and every
// profile shares it, and a keyring that does not answer costs its bound once.
KeyringPasswordReader RememberingKeyringReader()
{
    struct Answers {
        std::mutex mutex;
        std::map<std::string, std::optional<std::string>> byApplication; // guarded by mutex
    };
    auto answers = std::make_shared<Answers>();
    return [answers](const std::string& application) {
        const std::lock_guard lock(answers->mutex);
        const auto known = answers->byApplication.find(application);
        if (known != answers->byApplication.end())
            return known->second;
        return answers->byApplication[application] = ReadKeyringPassword(application);
    };
}

// Keeps the first text with a cookie for the site, in case no text is
// accepted, and says when one is.
class TextChoice final {
  public:
    explicit TextChoice(const CookieTextCheck& accept) : m_accept(accept) {}

    bool offer(const std::optional<std::vector<StoredCookie>>& cookies, const CookieAddress& address)
    {
        if (!cookies)
            return false;
        std::string text = CookieHeaderText(*cookies, address);
        if (text.empty())
            return false;
        const bool accepted = !m_accept || m_accept(text);
        if (accepted || !m_first)
            m_first = std::move(text);
        return accepted;
    }
    std::optional<std::string> result() { return std::move(m_first); }

  private:
    const CookieTextCheck& m_accept;
    std::optional<std::string> m_first;
};

} // namespace

BrowserCookieSources BrowserCookieSourcesUnder(const std::string& home, const std::string& configHome)
{
    const std::string config = configHome.empty() ? home + "/.config" : configHome;
    // Each sandboxed Firefox keeps the classic and the XDG layout inside its
    // own folder, as the native one does in the home folder.
    const std::string snapFirefox = home + "/snap/firefox/common";
    const std::string flatpakFirefox = home + "/.var/app/org.mozilla.firefox";
    BrowserCookieSources sources;
    sources.firefoxFolders = {home + "/.mozilla/firefox",           config + "/mozilla/firefox",
                              snapFirefox + "/.mozilla/firefox",    snapFirefox + "/.config/mozilla/firefox",
                              flatpakFirefox + "/.mozilla/firefox", flatpakFirefox + "/config/mozilla/firefox"};
    sources.chromiumFolders = {{config + "/chromium", "chromium"},
                               {home + "/snap/chromium/common/chromium", "chromium"},
                               {home + "/.var/app/org.chromium.Chromium/config/chromium", "chromium"},
                               {config + "/google-chrome", "chrome"}};
    return sources;
}

BrowserCookieSources DefaultBrowserCookieSources()
{
    BrowserCookieSources sources = BrowserCookieSourcesUnder(HomeFolder(), ConfigHomeFromEnvironment());
    sources.keyringPassword = RememberingKeyringReader();
    return sources;
}

std::optional<std::string> BrowserCookieText(const std::string& siteAddress,
                                             const BrowserCookieSources& sources)
{
    const std::optional<CookieAddress> address = ParseCookieAddress(siteAddress);
    if (!address)
        return std::nullopt;
    const std::time_t now = std::time(nullptr);
    TextChoice choice(sources.accept);
    for (const std::string& folder : sources.firefoxFolders) {
        const std::optional<std::string> ini = ReadText(fs::path(folder) / "profiles.ini");
        if (!ini)
            continue;
        const std::string installs = ReadText(fs::path(folder) / "installs.ini").value_or("");
        for (const std::string& profile : FirefoxProfileFolders(folder, *ini, installs)) {
            const fs::path database = fs::path(profile) / "cookies.sqlite";
            if (IsFile(database) && choice.offer(ReadFirefoxCookies(database.string(), now), *address))
                return choice.result();
        }
    }
    for (const ChromiumFolder& browser : sources.chromiumFolders) {
        const KeyringPasswordOnce keyringPassword = [&]() -> std::optional<std::string> {
            if (!sources.keyringPassword)
                return std::nullopt;
            return sources.keyringPassword(browser.keyringApplication);
        };
        for (const std::string& database : ChromiumDatabases(browser.folder))
            if (choice.offer(ReadChromiumCookies(database, now, *address, keyringPassword, sources.note), *address))
                return choice.result();
    }
    return choice.result();
}

} // namespace quaylet::browsercookies
