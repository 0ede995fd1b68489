#include "app/clientapp.h"

#include "app/sessionend.h"
#include "app/singleinstance.h"
#include "core/logfile.h"
#include "core/logfolder.h"
#include "core/stringtable.h"
#include "core/systeminfo.h"
#include "core/version.h"
#include "platform/interruptwatch.h"

namespace quaylet {

CKestrelioClientApp::CKestrelioClientApp(ClientCommandLine commandLine, MainWindowFactory factory,
                                         platform::InterruptWatch* sessionEnd, QObject* parent)
    : QObject(parent), m_commandLine(std::move(commandLine)), m_factory(std::move(factory)), m_sessionEnd(sessionEnd)
{
}

int CKestrelioClientApp::run()
{
    std::string noRuntimeDir;
    const QString runtimeDir = SingleInstance::defaultRuntimeDir(&noRuntimeDir);
    SingleInstance instance(runtimeDir, QString::fromUtf8(LoadString(str::InstanceName)));

    if (!runtimeDir.isEmpty()) {
        if (m_commandLine.replace && !instance.tryBecomeFirst() && !instance.closeRunning(kReplaceWaitMs).has_value())
            return 0; // the running client cannot be watched: leave quietly

        if (!instance.tryBecomeFirst()) {
            // Another client runs (or is starting up): hand it our files, bring
            // it to the front and leave without touching the log.
            if (m_commandLine.paths.empty())
                instance.sendToRunning(SingleInstance::kShow, kActivationTimeoutMs);
            else
                instance.openInRunning(m_commandLine.paths, kActivationTimeoutMs);
            return 0;
        }
    }

    // A desktop launcher starts us in the home directory: keep the log out of it.
    OpenLog(LogFilePath("Quaylet.log"));
    const auto v = GetOwnVersion();
    WriteLog(LogMilestone, "KestrelioClient(%d.%d.%d.%d) started", v[0], v[1], v[2], v[3]);
    WriteLog(LogMilestone, "%s", SystemInfo().launchLine().c_str());

    // Without a folder that only this user can reach there is no safe place for
    // the lock and the channel: run, but without the one-client rule.
    if (runtimeDir.isEmpty())
        WriteLog(LogMilestone, "CKestrelioClientApp: no single-instance folder: %s", noRuntimeDir.c_str());
    else if (!instance.listen())
        WriteLog(LogMilestone, "CKestrelioClientApp: cannot serve the activation channel");

    int exitCode = 0;
    SessionEnd sessionEnd(m_sessionEnd);
    if (sessionEnd.requested().isSet()) {
        WriteLog(LogTrace, "CKestrelioClientApp: session ended during start-up (signal %d)", m_sessionEnd->signal());
    } else {
        MainWindowStart start;
        start.visible = m_commandLine.show;
        start.quitRequested = &sessionEnd.requested();
        std::unique_ptr<IMainWindow> window = m_factory(start);
        // A second start leaves the log alone, so these requests are not logged.
        connect(&instance, &SingleInstance::showRequested, this, [&window] { window->activate(); });
        connect(&instance, &SingleInstance::closeRequested, this, [&window] { window->requestClose(); });
        connect(&instance, &SingleInstance::openRequested, this,
                [&window](const std::vector<std::string>& paths) { window->queuePaths(paths); });
        connect(&sessionEnd, &SessionEnd::ended, this, [&window](int signal) {
            WriteLog(LogTrace, "CKestrelioClientApp: session ends (signal %d)", signal);
            window->requestClose();
        });
        if (!m_commandLine.paths.empty())
            window->queuePaths(m_commandLine.paths);
        exitCode = window->run();
        instance.disconnect(this);
        sessionEnd.disconnect(this);
    }

    WriteLog(LogMilestone, "CKestrelioClientApp: Closing app");
    return exitCode;
}

} // namespace quaylet
