// The desktop client: answers --help and --version, refuses an unknown
// option, creates the widget application and hands the application object
// its main window.

#include "app/clientapp.h"
#include "app/commandline.h"
#include "core/version.h"
#include "platform/abspath.h"
#include "platform/interruptwatch.h"
#include "skin/browserlink.h"
#include "update/browserlaunch.h"
#include "window/mainwindow.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The bytes as given: QApplication::arguments() would turn a file name that
// is not UTF-8 into a different one.
quaylet::ClientCommandLine ReadCommandLine(int argc, char* argv[])
{
    return quaylet::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                     quaylet::platform::CurrentDirectory());
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered without a display, a log or a word to a running client.
    const quaylet::ClientCommandLine early = ReadCommandLine(argc, argv);
    if (early.help || early.version) {
        const std::string text = early.help ? quaylet::ClientUsage("quaylet") : quaylet::VersionLine("quaylet");
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!early.unknownOption.empty()) {
        std::fputs(quaylet::UnknownOptionText("quaylet", early.unknownOption).c_str(), stderr);
        return 2;
    }
    // Before the QApplication, which starts threads: every thread must have the
    // session's end signals blocked, so that only the watch takes them.
    quaylet::platform::InterruptWatch sessionEnd;
    QApplication application(argc, argv);
    // Docks and task bars match the windows to the launcher's entry by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.glimmerly.Quaylet"));
    // Links in the skinned windows open the way every other page does.
    quaylet::SetBrowserOpener([](const std::string& address) { quaylet::OpenUrlInBrowser(address); });
    // Read again: the QApplication has taken out the arguments meant for it.
    quaylet::CKestrelioClientApp client(
        ReadCommandLine(argc, argv),
        [](const quaylet::MainWindowStart& start) { return std::make_unique<quaylet::CKestrelioClientDlg>(start); },
        &sessionEnd);
    return client.run();
}
