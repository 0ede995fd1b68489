// The desktop client: creates the widget application and hands the application
// object its main window.

#include "app/clientapp.h"
#include "window/placeholderwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    quaylet::CKestrelioClientApp client(QApplication::arguments(), [](bool visible) {
        return std::make_unique<quaylet::PlaceholderWindow>(visible);
    });
    return client.run();
}
