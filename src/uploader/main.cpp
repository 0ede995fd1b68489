// quaylet-upload: uploads photos and videos from the command line through the
// same engine as the client's window.

#include "api/endpoints.h"
#include "core/logfile.h"
#include "core/logfolder.h"
#include "core/systeminfo.h"
#include "core/version.h"
#include "credentials/profile.h"
#include "credentials/startupsignin.h"
#include "dropintake/renamejournal.h"
#include "engine/transferengine.h"
#include "platform/abspath.h"
#include "platform/events.h"
#include "platform/internet.h"
#include "platform/interruptwatch.h"
#include "platform/tempdir.h"
#include "uploader/consoleview.h"
#include "uploader/passwordinput.h"
#include "uploader/skipreason.h"
#include "uploader/terminaltext.h"
#include "uploader/uploadoptions.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <unistd.h>

using namespace quaylet;

namespace {

enum ExitStatus {
    kExitAllUploaded = 0,
    kExitSomeNotUploaded = 1,
    kExitUsage = 2,
    kExitSignIn = 3,
    // An interrupted run ends with 128 + the signal's number, as a shell reports it.
    kExitSignalBase = 128,
};

struct SignInOutcome {
    bool ok = false;
    std::string reason;
};

SignInOutcome signIn(const UploadOptions& options, const platform::InterruptWatch& interrupts)
{
    CProfile& profile = CurrentProfile();
    std::string errorText;
    if (options.user) {
        const auto password = ReadPassword(STDIN_FILENO, STDERR_FILENO,
                                           "Password for " + TerminalText(*options.user) + ": ", interrupts.wakeFd());
        if (!password)
            return {false, "no password was given"};
        profile = CProfile(*options.user, *password);
        if (!profile.IsValid())
            return {false, "the user name and the password must each have 1 to 30 characters, without control characters"};
        if (SignInWithProfile(profile, errorText) == 1) {
            SaveCredentials(profile);
            return {true, {}};
        }
    } else {
        const StartupSignInResult result = SignInAtStartup(profile, StoredCredentialSources());
        if (!result.found)
            return {false, "no stored credentials; sign in once with --user NAME"};
        if (result.signedIn())
            return {true, {}};
        errorText = result.errorText;
    }
    if (!errorText.empty())
        return {false, "the service refused the sign-in: " + errorText};
    if (!platform::CheckInternetConnection(SiteAddress(), std::chrono::milliseconds(5000), nullptr))
        return {false, "the service cannot be reached at " + SiteAddress()};
    return {false, "the sign-in failed"};
}

int run(const UploadOptions& options, platform::InterruptWatch& interrupts)
{
    const auto interrupted = [&interrupts] { return interrupts.interrupted.isSet(); };
    const auto endInterrupted = [&interrupts] {
        std::fprintf(stderr, "\nquaylet-upload: interrupted\n");
        WriteLog(LogMilestone, "quaylet-upload: Closing");
        return kExitSignalBase + interrupts.signal();
    };

    if (platform::TempPath().empty()) {
        std::fprintf(stderr, "quaylet-upload: no private temporary directory could be made under %s\n",
                     TerminalText(platform::tempBaseDir()).c_str());
        return kExitSomeNotUploaded;
    }
    // Its own lines are what a terminal shows: the log joins them only when asked.
    SetLogMirror(LogMirrorRequested());
    // The client's rule: a run from the home directory or a folder that cannot
    // be written logs to the state folder.
    OpenLog(LogFilePath("Quaylet.log"));
    const auto v = GetOwnVersion();
    WriteLog(LogMilestone, "quaylet-upload(%d.%d.%d.%d) started", v[0], v[1], v[2], v[3]);
    WriteLog(LogMilestone, "%s", SystemInfo().launchLine().c_str());
    // Names a killed run left behind come back now, not only once a run gets
    // past the sign-in: a start that fails there must not leave them.
    RenameJournal::RestoreEnded(RenameJournal::DefaultDirectory());

    SignInOutcome signedIn;
    {
        // The sign-in and the reachability check behind a failure run on this
        // thread: an interrupt ends them at once.
        const platform::ScopedInternetAbort abortOnInterrupt(interrupted);
        signedIn = signIn(options, interrupts);
    }
    if (interrupted())
        return endInterrupted();
    if (!signedIn.ok) {
        std::fprintf(stderr, "quaylet-upload: sign-in failed: %s\n", TerminalText(signedIn.reason).c_str());
        return kExitSignIn;
    }
    std::printf("Signed in as %s\n", TerminalText(CurrentProfile().m_userName).c_str());
    std::fflush(stdout);
    if (options.signInOnly) {
        WriteLog(LogMilestone, "quaylet-upload: Closing");
        return kExitAllUploaded;
    }

    ConsoleView view(stdout, ::isatty(STDOUT_FILENO) != 0);
    platform::Event batchDone(platform::Event::Reset::Manual);
    // Written on the main thread while queueing, read by the outcome handler on
    // the transfer thread: both under the lock.
    std::mutex countMutex;
    int queued = 0;
    int finished = 0;
    bool queueingDone = false;

    TransferEngineOptions engineOptions;
    engineOptions.pollNotifications = false;
    TransferEngine engine(view, std::move(engineOptions));
    view.setUserPaths([&engine](const std::string& queuedPath) { return engine.intake().UserPath(queuedPath); });
    // A dropped folder may lead anywhere (a link to /): an interrupt ends its search.
    engine.intake().SetStopCheck([&] { return interrupted() || engine.objects().quit.isSet(); });
    engine.setFileFinishedHandler([&](const QueueRow& row, int result) {
        view.fileFinished(row, result);
        std::lock_guard lock(countMutex);
        if (++finished >= queued && queueingDone)
            batchDone.set();
    });
    // As in the window: the engine runs before the first drop, so the first
    // file is on its way while later paths are still being searched.
    engine.start();

    std::vector<std::pair<std::string, std::string>> skipped;
    for (const std::string& path : options.paths) {
        if (interrupted())
            break;
        const int before = static_cast<int>(engine.rowsQueued());
        engine.intake().OnDropFiles({path});
        const int added = static_cast<int>(engine.rowsQueued()) - before;
        // A search cut short says nothing about what the path holds.
        if (added == 0 && !interrupted())
            skipped.emplace_back(path, SkipReason(path, engine.intake().RenameFailure(path)));
        std::lock_guard lock(countMutex);
        queued += added;
    }
    {
        std::lock_guard lock(countMutex);
        queueingDone = true;
        if (queued > 0 && finished >= queued)
            batchDone.set();
    }
    for (const auto& [path, reason] : skipped)
        std::fprintf(stderr, "quaylet-upload: skipped %s: %s\n", TerminalText(path).c_str(), reason.c_str());
    if (queued == 0) {
        if (interrupted())
            return endInterrupted();
        std::fprintf(stderr, "quaylet-upload: nothing to upload\n");
        return kExitUsage;
    }
    std::printf("%d file%s queued\n", queued, queued == 1 ? "" : "s");
    std::fflush(stdout);

    const auto slot = platform::waitForAny({&interrupts.interrupted, &batchDone});
    const bool wasInterrupted = slot && *slot == 0;
    if (wasInterrupted) {
        std::fprintf(stderr, "\nquaylet-upload: interrupted; cancelling\n");
        engine.cancel({});
    }
    // The last file's row goes after its outcome: let the thread finish that.
    const bool stopped = engine.stop(std::chrono::milliseconds(2000));
    view.finishLine();

    const auto outcomes = view.outcomes();
    int uploaded = 0;
    std::vector<FileOutcome> failed;
    for (const auto& outcome : outcomes) {
        if (outcome.result == 1)
            ++uploaded;
        else
            failed.push_back(outcome);
    }
    std::printf("\n%d of %d file%s uploaded\n", uploaded, queued, queued == 1 ? "" : "s");
    for (const auto& outcome : failed)
        std::printf("  %s: %s\n", outcome.path.c_str(), OutcomeInWords(outcome.result).c_str());
    WriteLog(LogMilestone, "quaylet-upload: Closing");
    const int status = wasInterrupted       ? kExitSignalBase + interrupts.signal()
                       : uploaded == queued ? kExitAllUploaded
                                            : kExitSomeNotUploaded;
    if (!stopped) {
        // The transfer thread is stuck in a call and still uses the engine.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = ParseUploadOptions(arguments, platform::CurrentDirectory());
    if (!parsed.options) {
        std::fprintf(stderr, "quaylet-upload: %s\n\n%s", parsed.error.c_str(), UploadUsage("quaylet-upload").c_str());
        return kExitUsage;
    }
    if (parsed.options->help) {
        std::fputs(UploadUsage("quaylet-upload").c_str(), stdout);
        return kExitAllUploaded;
    }
    if (parsed.options->version) {
        std::fputs(VersionLine("quaylet-upload").c_str(), stdout);
        return kExitAllUploaded;
    }
    // Before any other thread exists, so that every thread has the signals blocked.
    platform::InterruptWatch interrupts;
    // Output to a reader that went away (a closed terminal, a pipe) must fail
    // as a write, not end the process before renamed files get their names back.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    return run(*parsed.options, interrupts);
}
