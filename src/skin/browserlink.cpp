#include "skin/browserlink.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <utility>

namespace quaylet {

namespace {

// Window thread only (see the header).
BrowserOpener& InstalledOpener()
{
    static BrowserOpener opener;
    return opener;
}

} // namespace

BrowserOpener SetBrowserOpener(BrowserOpener opener)
{
    return std::exchange(InstalledOpener(), std::move(opener));
}

void OpenLinkInBrowser(const std::string& address)
{
    if (const BrowserOpener& opener = InstalledOpener()) {
        opener(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

} // namespace quaylet
