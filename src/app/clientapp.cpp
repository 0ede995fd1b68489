#include "app/clientapp.h"

#include "app/singleinstance.h"
#include "core/logfile.h"
#include "core/stringtable.h"
#include "core/systeminfo.h"
#include "core/version.h"

namespace quaylet {

CommandLineSwitches ParseSwitches(const QStringList& arguments)
{
    CommandLineSwitches switches;
    if (arguments.size() < 2)
        return switches;
    const QString& first = arguments.at(1);
    if (first.compare(QStringLiteral("/s"), Qt::CaseInsensitive) == 0)
        switches.show = false;
    else if (first.compare(QStringLiteral("/q"), Qt::CaseInsensitive) == 0)
        switches.replace = true;
    return switches;
}

CKestrelioClientApp::CKestrelioClientApp(QStringList arguments, MainWindowFactory factory, QObject* parent)
    : QObject(parent), m_arguments(std::move(arguments)), m_factory(std::move(factory))
{
}

int CKestrelioClientApp::run()
{
    const CommandLineSwitches switches = ParseSwitches(m_arguments);
    SingleInstance instance(SingleInstance::defaultRuntimeDir(), QString::fromUtf8(LoadString(str::InstanceName)));

    if (switches.replace && !instance.tryBecomeFirst()) {
        if (const auto pid = instance.runningPid()) {
            if (!WaitForProcessEnd(*pid, 0).has_value())
                return 0; // the running client cannot be watched: leave quietly
            instance.sendToRunning(SingleInstance::kClose, kReplaceWaitMs);
            WaitForProcessEnd(*pid, kReplaceWaitMs);
        }
    }

    if (!instance.tryBecomeFirst()) {
        // Another client runs (or is starting up): bring it to the front and leave
        // without touching the log.
        instance.sendToRunning(SingleInstance::kShow, kActivationTimeoutMs);
        return 0;
    }

    OpenLog("Quaylet.log");
    const auto v = GetOwnVersion();
    WriteLog(LogMilestone, "KestrelioClient(%d.%d.%d.%d) started", v[0], v[1], v[2], v[3]);
    WriteLog(LogMilestone, "%s", SystemInfo().launchLine().c_str());

    if (!instance.listen())
        WriteLog(LogMilestone, "CKestrelioClientApp: cannot serve the activation channel");

    int exitCode = 0;
    {
        std::unique_ptr<IMainWindow> window = m_factory(switches.show);
        connect(&instance, &SingleInstance::showRequested, this, [&window] {
            WriteLog(LogTrace, "CKestrelioClientApp: show request from another client");
            window->activate();
        });
        connect(&instance, &SingleInstance::closeRequested, this, [&window] {
            WriteLog(LogTrace, "CKestrelioClientApp: close request from a replacing client");
            window->requestClose();
        });
        exitCode = window->run();
        instance.disconnect(this);
    }

    WriteLog(LogMilestone, "CKestrelioClientApp: Closing app");
    return exitCode;
}

} // namespace quaylet
