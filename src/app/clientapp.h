#pragma once

// The application object: owns the process from the command line to the
// closing log line. It keeps one client per user, opens the log, names the
// version and platform, and runs the main window until it ends, or until the
// desktop session ends.

#include "app/commandline.h"
#include "app/mainwindowseam.h"

#include <QObject>

namespace quaylet {

namespace platform {
class InterruptWatch;
}

class CKestrelioClientApp final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CKestrelioClientApp)

public:
    // commandLine: parsed by main; "--help" and "--version" are answered
    // there, before the application starts.
    // sessionEnd: the process's signal watch, made by main before anything
    // starts a thread (before the QApplication); the first SIGTERM, SIGINT or
    // SIGHUP then closes the window as Exit does. Without one the signals
    // keep their default action.
    CKestrelioClientApp(ClientCommandLine commandLine, MainWindowFactory factory,
                        platform::InterruptWatch* sessionEnd = nullptr, QObject* parent = nullptr);

    // Start-up, the main window's run, and exit. Returns the process's exit code.
    int run();

    static constexpr int kReplaceWaitMs = 1000;
    static constexpr int kActivationTimeoutMs = 5000;

private:
    ClientCommandLine m_commandLine;
    MainWindowFactory m_factory;
    platform::InterruptWatch* m_sessionEnd;
};

} // namespace quaylet
