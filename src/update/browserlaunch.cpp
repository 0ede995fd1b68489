#include "update/browserlaunch.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <mutex>
#include <utility>

namespace quaylet {

namespace {

// Installed by tests before any call; the lock only keeps a swap and a call
// on different threads apart.
std::mutex g_starterMutex;
BrowserStarter g_starter; // guarded by g_starterMutex

// Detached (the helper child exits at once and is reaped, so the browser is
// never our child and never our zombie) and without a shell: the address
// reaches the program as it is, one argument.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments)
{
    QStringList args;
    for (const std::string& argument : arguments)
        args << QString::fromStdString(argument);
    return QProcess::startDetached(QString::fromStdString(program), args);
}

// The user's own choice first, then the desktop's opener.
std::vector<std::string> BrowserCandidates()
{
    std::vector<std::string> candidates;
    if (const char* browser = std::getenv("BROWSER")) {
        const std::string list(browser);
        std::string first = list.substr(0, list.find(':'));
        if (!first.empty())
            candidates.push_back(std::move(first));
    }
    candidates.emplace_back("xdg-open");
    return candidates;
}

bool StartBrowser(const std::string& address)
{
    BrowserStarter starter;
    {
        std::lock_guard lock(g_starterMutex);
        starter = g_starter;
    }
    if (!starter)
        starter = StartDetached;
    for (const std::string& program : BrowserCandidates()) {
        if (starter(program, {address}))
            return true;
    }
    return false;
}

} // namespace

void OpenUrlInBrowser(const std::string& address)
{
    StartBrowser(address);
}

bool OpenUrlWithShell(const std::string& address)
{
    return StartBrowser(address);
}

BrowserStarter SetBrowserStarter(BrowserStarter starter)
{
    std::lock_guard lock(g_starterMutex);
    return std::exchange(g_starter, std::move(starter));
}

} // namespace quaylet
