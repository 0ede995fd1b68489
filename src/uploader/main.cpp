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
#include "engine/takeuprows.h"
#include "engine/servicesteps.h"
#include "engine/transferengine.h"
#include "platform/abspath.h"
#include "platform/events.h"
#include "platform/internet.h"
#include "platform/interruptwatch.h"
#include "platform/tempdir.h"
#include "queuestore/queuejournal.h"
#include "uploader/consoleview.h"
#include "uploader/keptrows.h"
#include "uploader/passwordinput.h"
#include "uploader/resultwriter.h"
#include "uploader/skipreason.h"
#include "uploader/terminaltext.h"
#include "uploader/uploadoptions.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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

// --history: the kept rows of the account named by --user or the stored
// credentials; no sign-in, so it works offline.
int showHistory(const UploadOptions& options)
{
    std::string user = options.user.value_or("");
    const auto sources = StoredCredentialSources();
    for (std::size_t i = 0; user.empty() && i < sources.size(); ++i) {
        CProfile stored;
        if (sources[i](stored))
            user = stored.m_userName;
    }
    if (user.empty()) {
        std::fprintf(stderr, "quaylet-upload: no stored credentials; name the account with --user NAME\n");
        return kExitSignIn;
    }
    QueueJournal journal;
    journal.setAccount(QueueAccountOf(user));
    std::fputs(HistoryText(journal.recent(10000).get(), options.json).c_str(), stdout);
    WriteLog(LogMilestone, "quaylet-upload: Closing");
    return kExitAllUploaded;
}

std::string writeErrorText(int error)
{
    return std::string("quaylet-upload: cannot write to standard output: ") + std::strerror(error);
}

// --help, --version and --sign-in-only: their text is the whole output, so a
// failed write (standard output full or closed) is the command's failure.
int printOnly(const std::string& text)
{
    errno = 0;
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s\n", writeErrorText(errno != 0 ? errno : EIO).c_str());
        return kExitSomeNotUploaded;
    }
    return kExitAllUploaded;
}

// Where the run's texts go: results on standard output, everything else on
// standard error.
ResultForm resultFormOf(const UploadOptions& options)
{
    if (options.json)
        return ResultForm::Json;
    return options.quiet ? ResultForm::None : ResultForm::Lines;
}

// The rows still queued: after an early end each becomes a file that was
// not uploaded, also when its work never began.
std::vector<QueueRow> queuedRows(CUploadQueue& queue)
{
    std::vector<QueueRow> rows;
    for (std::size_t i = 0;; ++i) {
        auto row = queue.rowAt(i);
        if (!row)
            break;
        rows.push_back(std::move(*row));
    }
    return rows;
}

// The end of a run: the summary among the results, or on standard error when
// the results are JSON or standard output failed; with --quiet only the
// files that were not uploaded.
void writeSummary(const std::vector<FileOutcome>& outcomes, ResultWriter& results, bool progress, bool endedEarly)
{
    const std::string summary = RunSummary(outcomes);
    if (results.form() == ResultForm::Lines && !results.failed())
        results.writeText(summary);
    else if (results.form() == ResultForm::None || results.failed())
        std::fputs(NotUploadedLines(outcomes, "quaylet-upload").c_str(), stderr);
    else if (progress)
        std::fputs(summary.c_str(), stderr);
    // A summary that could not be written is still an error.
    if (results.failed() && !endedEarly)
        std::fprintf(stderr, "%s\n", writeErrorText(results.error()).c_str());
}

int run(const UploadOptions& options, platform::InterruptWatch& interrupts)
{
    const bool progress = !options.quiet;
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
    if (options.history)
        return showHistory(options);

    // Every request of the run is sent at most at this rate.
    platform::SetDefaultSendRateLimit(options.limitRate);
    if (options.limitRate != 0)
        WriteLog(LogMilestone, "quaylet-upload: sending at most %llu bytes per second",
                 static_cast<unsigned long long>(options.limitRate));

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
    const std::string signedInLine = "Signed in as " + TerminalText(CurrentProfile().m_userName) + "\n";
    if (options.signInOnly) {
        // Here the sign-in is the result.
        const int status = progress ? printOnly(signedInLine) : kExitAllUploaded;
        WriteLog(LogMilestone, "quaylet-upload: Closing");
        return status;
    }
    if (progress)
        std::fputs(signedInLine.c_str(), stderr);

    ResultWriter results(stdout, resultFormOf(options));
    ConsoleView view(stderr, ::isatty(STDERR_FILENO) != 0, progress);
    view.setOutcomeSink([&results](const FileOutcome& outcome) { results.write(outcome); });
    view.setEchoOutcomes(options.json && progress);
    platform::Event batchDone(platform::Event::Reset::Manual);
    // Written on the main thread while queueing, read by the outcome handler on
    // the transfer thread: both under the lock.
    std::mutex countMutex;
    int queued = 0;
    int finished = 0;
    bool queueingDone = false;

    QueueJournalOptions journalOptions;
    journalOptions.unavailable = [] {
        std::fprintf(stderr, "quaylet-upload: %s\n", QueueStoreUnavailableNotice().c_str());
    };
    // Before the engine, which reports to it until it is gone.
    QueueJournal journal(std::move(journalOptions));
    journal.setAccount(QueueAccountOf(CurrentProfile().m_userName));

    TransferEngineOptions engineOptions;
    engineOptions.pollNotifications = false;
    engineOptions.journal = &journal;
    ServiceStepOptions stepOptions;
    stepOptions.uploadBytes = [&view](uint64_t bytes) { view.showBytesSent(bytes); };
    engineOptions.steps = ServiceTransferSteps(stepOptions);
    TransferEngine engine(view, std::move(engineOptions));
    view.setUserPaths([&engine, &options](const std::string& queuedPath) {
        return AsGiven(engine.intake().UserPath(queuedPath), options);
    });
    // A dropped folder may lead anywhere (a link to /): an interrupt ends its search.
    engine.intake().SetStopCheck(
        [&] { return interrupted() || results.failed() || engine.objects().quit.isSet(); });
    engine.setFileFinishedHandler([&](const QueueRow& row, int result) {
        view.fileFinished(row, result);
        std::lock_guard lock(countMutex);
        if (++finished >= queued && queueingDone)
            batchDone.set();
    });
    // Ctrl-Z pauses the queue as the window's Pause Uploads does; the
    // handler is gone before the engine.
    interrupts.setPauseHandler([&engine, &view](bool paused) {
        engine.setPaused(paused);
        if (!paused)
            view.pauseEnded();
    });
    struct PauseHandlerReset {
        platform::InterruptWatch& watch;
        ~PauseHandlerReset() { watch.setPauseHandler({}); }
    } pauseHandlerReset{interrupts};
    // As in the window: the engine runs before the first drop, so the first
    // file is on its way while later paths are still being searched.
    engine.start();

    // What earlier runs left goes first, before anything new.
    if (options.resume || options.retryFailed) {
        const int kept = QueueKeptRows(options, engine, journal, stderr);
        std::lock_guard lock(countMutex);
        queued += kept;
    }
    const auto stopping = [&] { return interrupted() || results.failed(); };
    // Arguments that queued nothing: skipped, or never searched when the run ended first.
    std::vector<FileOutcome> unqueued;
    for (std::size_t i = 0; i < options.paths.size(); ++i) {
        const std::string& path = options.paths[i];
        FileOutcome outcome;
        outcome.path = options.givenPaths[i];
        if (stopping()) {
            outcome.kind = OutcomeKind::NotStarted;
            outcome.reason = "not searched";
            unqueued.push_back(std::move(outcome));
            continue;
        }
        const int before = static_cast<int>(engine.rowsQueued());
        engine.intake().OnDropFiles({path});
        const int added = static_cast<int>(engine.rowsQueued()) - before;
        // A search cut short says nothing about what the path holds.
        if (added == 0 && !stopping()) {
            outcome.kind = OutcomeKind::Skipped;
            outcome.reason = SkipReason(path, engine.intake().RenameFailure(path));
            unqueued.push_back(std::move(outcome));
        }
        std::lock_guard lock(countMutex);
        queued += added;
    }
    {
        std::lock_guard lock(countMutex);
        queueingDone = true;
        if (queued > 0 && finished >= queued)
            batchDone.set();
    }
    // Why an argument queued nothing is a remark on the command line, so it
    // goes with the errors; only scripts get it among the results as well.
    for (const FileOutcome& outcome : unqueued) {
        if (outcome.kind != OutcomeKind::Skipped)
            continue;
        view.error("quaylet-upload: skipped " + TerminalText(outcome.path) + ": " + outcome.reason);
        if (results.form() == ResultForm::Json)
            results.write(outcome);
    }
    if (queued == 0) {
        if (interrupted())
            return endInterrupted();
        if (results.failed()) {
            std::fprintf(stderr, "%s\n", writeErrorText(results.error()).c_str());
            return kExitSomeNotUploaded;
        }
        if (options.paths.empty()) {
            std::fprintf(stderr, "Nothing to resume\n");
            WriteLog(LogMilestone, "quaylet-upload: Closing");
            return kExitAllUploaded;
        }
        std::fprintf(stderr, "quaylet-upload: nothing to upload\n");
        return kExitUsage;
    }
    view.announceQueued(queued);

    const auto slot = platform::waitForAny({&interrupts.interrupted, &results.failure(), &batchDone});
    const bool endedEarly = slot && *slot != 2;
    const bool wasInterrupted = slot && *slot == 0;
    std::vector<QueueRow> left;
    if (endedEarly) {
        view.error(wasInterrupted ? "\nquaylet-upload: interrupted; cancelling"
                                 : writeErrorText(results.error()) + "; cancelling");
        left = queuedRows(engine.queue());
        // A hang-up or a termination is the session ending, not the user
        // cancelling: what is left stays open for --resume.
        if (wasInterrupted && (interrupts.signal() == SIGHUP || interrupts.signal() == SIGTERM))
            engine.objects().quit.set();
        engine.cancel({});
    }
    // The last file's row goes after its outcome: let the thread finish that.
    const bool stopped = engine.stop(std::chrono::milliseconds(2000));
    view.finishLine();
    for (const QueueRow& row : left) {
        if (!view.hasOutcome(row.id))
            view.fileLeft(row);
    }
    for (const FileOutcome& outcome : unqueued) {
        if (outcome.kind == OutcomeKind::NotStarted)
            results.write(outcome);
    }

    std::vector<FileOutcome> outcomes = view.outcomes();
    outcomes.insert(outcomes.end(), unqueued.begin(), unqueued.end());
    writeSummary(outcomes, results, progress, endedEarly);
    WriteLog(LogMilestone, "quaylet-upload: Closing");
    const int status = wasInterrupted                         ? kExitSignalBase + interrupts.signal()
                       : results.failed()                     ? kExitSomeNotUploaded
                       : EveryFileUploadedOrSkipped(outcomes) ? kExitAllUploaded
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
        std::fprintf(stderr, "quaylet-upload: %s\n%s", TerminalText(parsed.error).c_str(),
                     UsageHint("quaylet-upload").c_str());
        return kExitUsage;
    }
    if (parsed.options->help)
        return printOnly(UploadUsage("quaylet-upload"));
    if (parsed.options->version)
        return printOnly(VersionLine("quaylet-upload"));
    // Before any other thread exists, so that every thread has the signals blocked.
    platform::InterruptWatch interrupts(platform::PauseSignals::Taken);
    // Output to a reader that went away (a closed terminal, a pipe) must fail
    // as a write, not end the process before renamed files get their names back.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    return run(*parsed.options, interrupts);
}
