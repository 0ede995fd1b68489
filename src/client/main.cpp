// The desktop client: creates the widget application and hands the application
// object its main window.

#include "app/clientapp.h"
#include "platform/interruptwatch.h"
#include "skin/browserlink.h"
#include "update/browserlaunch.h"
#include "window/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before the QApplication, which starts threads: every thread must have the
    // session's end signals blocked, so that only the watch takes them.
    quaylet::platform::InterruptWatch sessionEnd;
    QApplication application(argc, argv);
    // Links in the skinned windows open the way every other page does.
    quaylet::SetBrowserOpener([](const std::string& address) { quaylet::OpenUrlInBrowser(address); });
    quaylet::CKestrelioClientApp client(
        QApplication::arguments(),
        [](const quaylet::MainWindowStart& start) { return std::make_unique<quaylet::CKestrelioClientDlg>(start); },
        &sessionEnd);
    return client.run();
}
