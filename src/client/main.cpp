// The desktop client: creates the widget application and hands the application
// object its main window.

#include "app/clientapp.h"
#include "skin/browserlink.h"
#include "update/browserlaunch.h"
#include "window/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Links in the skinned windows open the way every other page does.
    quaylet::SetBrowserOpener([](const std::string& address) { quaylet::OpenUrlInBrowser(address); });
    quaylet::CKestrelioClientApp client(QApplication::arguments(), [](const quaylet::MainWindowStart& start) {
        return std::make_unique<quaylet::CKestrelioClientDlg>(start);
    });
    return client.run();
}
