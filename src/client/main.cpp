// The desktop client: creates the widget application and hands the application
// object its main window.

#include "app/clientapp.h"
#include "window/placeholderwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    quaylet::CKestrelioClientApp client(QApplication::arguments(), [](const quaylet::MainWindowStart& start) {
        return std::make_unique<quaylet::PlaceholderWindow>(start.visible);
    });
    return client.run();
}
