#include "devserver/config.h"

#include "platform/asciitext.h"

#include <fstream>
#include <sstream>

namespace quaylet::devserver {

namespace {

std::string Trim(const std::string& s)
{
    return std::string(platform::Trim(s));
}

bool ParseBool(const std::string& v, bool& out)
{
    if (v == "1" || v == "yes" || v == "true" || v == "on") {
        out = true;
        return true;
    }
    if (v == "0" || v == "no" || v == "false" || v == "off") {
        out = false;
        return true;
    }
    return false;
}

bool ParseLong(const std::string& v, long& out)
{
    if (v.empty())
        return false;
    std::size_t used = 0;
    try {
        out = std::stol(v, &used);
    } catch (...) {
        return false;
    }
    return used == v.size();
}

} // namespace

const Account* DevConfig::findAccount(const std::string& name) const
{
    for (const Account& a : accounts) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

DevConfig DefaultConfig()
{
    DevConfig c;
    c.accounts.push_back({"alice", "wonderland", 0, 100, 10, false});
    c.accounts.push_back({"bob", "builder", 1, -1, -1, false});
    c.toast.present = true;
    c.toast.title = "Welcome to Glimmerly";
    c.toast.name = "Glimmerly";
    c.toast.message = "Your photos are safe with us.";
    c.toast.href = "/premiumupgrade.html";
    c.toast.poll = 30;
    return c;
}

std::optional<DevConfig> ParseConfig(const std::string& text, const std::string& baseDir, std::string& error)
{
    DevConfig c;
    enum class Section { None, Account, Toast, Version, Service, Faults } section = Section::None;
    Account* account = nullptr;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return std::nullopt;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("unterminated section header");
            const std::string name = Trim(line.substr(1, line.size() - 2));
            account = nullptr;
            if (name.rfind("account ", 0) == 0) {
                const std::string user = Trim(name.substr(8));
                if (user.empty())
                    return fail("account without a name");
                if (c.findAccount(user) != nullptr)
                    return fail("account \"" + user + "\" given twice");
                c.accounts.push_back(Account{user, {}, 0, -1, -1, false});
                account = &c.accounts.back();
                section = Section::Account;
            } else if (name == "toast") {
                section = Section::Toast;
                c.toast.present = true;
            } else if (name == "version") {
                section = Section::Version;
            } else if (name == "service") {
                section = Section::Service;
            } else if (name == "faults") {
                section = Section::Faults;
            } else {
                return fail("unknown section [" + name + "]");
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            return fail("expected name = value");
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        long number = 0;
        bool flag = false;
        switch (section) {
        case Section::None:
            return fail("value outside a section");
        case Section::Account:
            if (key == "password")
                account->password = value;
            else if (key == "premium" && ParseLong(value, number))
                account->premium = static_cast<int>(number);
            else if (key == "premium" && ParseBool(value, flag))
                account->premium = flag ? 1 : 0;
            else if (key == "photo_limit" && ParseLong(value, number))
                account->photoLimit = number;
            else if (key == "video_limit" && ParseLong(value, number))
                account->videoLimit = number;
            else if (key == "upgrade_required" && ParseBool(value, flag))
                account->upgradeRequired = flag;
            else
                return fail("bad account setting \"" + key + "\"");
            break;
        case Section::Toast:
            if (key == "title")
                c.toast.title = value;
            else if (key == "name")
                c.toast.name = value;
            else if (key == "message")
                c.toast.message = value;
            else if (key == "href")
                c.toast.href = value;
            else if (key == "src")
                c.toast.src = value;
            else if (key == "picture")
                c.toast.picture = value.empty() || value[0] == '/' || baseDir.empty() ? value : baseDir + "/" + value;
            else if (key == "poll" && value.empty())
                c.toast.poll.reset();
            else if (key == "poll" && ParseLong(value, number))
                c.toast.poll = static_cast<int>(number);
            else if (key == "enabled" && ParseBool(value, flag))
                c.toast.present = flag;
            else
                return fail("bad toast setting \"" + key + "\"");
            break;
        case Section::Version:
            if (key == "major" && ParseLong(value, number))
                c.versionMajor = static_cast<int>(number);
            else if (key == "minor" && ParseLong(value, number))
                c.versionMinor = static_cast<int>(number);
            else if (key == "download")
                c.download = value;
            else if (key == "moved_to")
                c.versionMovedTo = value;
            else if (key == "file")
                c.versionFile = value.empty() || value[0] == '/' || baseDir.empty() ? value : baseDir + "/" + value;
            else
                return fail("bad version setting \"" + key + "\"");
            break;
        case Section::Service:
            if (key == "login_error")
                c.loginError = value;
            else
                return fail("bad service setting \"" + key + "\"");
            break;
        case Section::Faults: {
            std::string why;
            if (key != "fault" || !ParseFault(value, c.faults, why))
                return fail(why.empty() ? "expected fault = ..." : why);
            break;
        }
        }
    }
    return c;
}

std::optional<DevConfig> LoadConfig(const std::string& path, std::string& error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << f.rdbuf();
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? "." : path.substr(0, slash);
    auto config = ParseConfig(text.str(), base, error);
    if (!config)
        error = path + ": " + error;
    return config;
}

} // namespace quaylet::devserver
