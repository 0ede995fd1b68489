// quaylet-upload: uploads photos and videos from the command line through the
// same engine as the client's window.

#include "api/endpoints.h"
#include "core/logfile.h"
#include "core/systeminfo.h"
#include "core/version.h"
#include "credentials/profile.h"
#include "credentials/startupsignin.h"
#include "engine/transferengine.h"
#include "platform/events.h"
#include "platform/internet.h"
#include "platform/tempdir.h"
#include "uploader/consoleview.h"
#include "uploader/passwordinput.h"
#include "uploader/skipreason.h"
#include "uploader/uploadoptions.h"

#include <QCoreApplication>

#include <csignal>
#include <mutex>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

using namespace quaylet;

namespace {

enum ExitStatus {
    kExitAllUploaded = 0,
    kExitSomeNotUploaded = 1,
    kExitUsage = 2,
    kExitSignIn = 3,
    kExitInterrupted = 130,
};

std::string currentDirectory()
{
    std::string dir(4096, '\0');
    while (!::getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE)
            return "/";
        dir.resize(dir.size() * 2);
    }
    dir.resize(std::char_traits<char>::length(dir.c_str()));
    return dir;
}

// Waits for SIGINT or SIGTERM on a thread of its own and turns it into an event
// the main thread can wait on beside its other events. The signals are blocked
// in every thread, so none of them is interrupted at a random point.
class InterruptWatch final {
public:
    InterruptWatch()
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        m_thread = std::thread([this] {
            int signal = 0;
            sigwait(&m_signals, &signal);
            if (!m_stopping)
                interrupted.set();
        });
    }
    ~InterruptWatch()
    {
        m_stopping = true;
        pthread_kill(m_thread.native_handle(), SIGTERM);
        m_thread.join();
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    platform::Event interrupted{platform::Event::Reset::Manual};

private:
    sigset_t m_signals {};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

struct SignInOutcome {
    bool ok = false;
    std::string reason;
};

SignInOutcome signIn(const UploadOptions& options)
{
    CProfile& profile = CurrentProfile();
    std::string errorText;
    if (options.user) {
        const auto password = ReadPassword(STDIN_FILENO, STDERR_FILENO, "Password for " + *options.user + ": ");
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

int run(const UploadOptions& options)
{
    InterruptWatch interrupts;

    if (platform::TempPath().empty()) {
        std::fprintf(stderr, "quaylet-upload: no private temporary directory could be made under %s\n",
                     platform::tempBaseDir().c_str());
        return kExitSomeNotUploaded;
    }
    SetLogMirror(false);
    OpenLog("Quaylet.log");
    const auto v = GetOwnVersion();
    WriteLog(LogMilestone, "quaylet-upload(%d.%d.%d.%d) started", v[0], v[1], v[2], v[3]);
    WriteLog(LogMilestone, "%s", SystemInfo().launchLine().c_str());

    const SignInOutcome signedIn = signIn(options);
    if (!signedIn.ok) {
        std::fprintf(stderr, "quaylet-upload: sign-in failed: %s\n", signedIn.reason.c_str());
        return kExitSignIn;
    }
    std::printf("Signed in as %s\n", CurrentProfile().m_userName.c_str());
    std::fflush(stdout);

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
        const int before = static_cast<int>(engine.rowsQueued());
        engine.intake().OnDropFiles({path});
        const int added = static_cast<int>(engine.rowsQueued()) - before;
        if (added == 0)
            skipped.emplace_back(path, SkipReason(path));
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
        std::fprintf(stderr, "quaylet-upload: skipped %s: %s\n", path.c_str(), reason.c_str());
    if (queued == 0) {
        std::fprintf(stderr, "quaylet-upload: nothing to upload\n");
        return kExitUsage;
    }
    std::printf("%d file%s queued\n", queued, queued == 1 ? "" : "s");
    std::fflush(stdout);

    const auto slot = platform::waitForAny({&interrupts.interrupted, &batchDone});
    const bool interrupted = slot && *slot == 0;
    if (interrupted) {
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
    const int status = interrupted ? kExitInterrupted : uploaded == queued ? kExitAllUploaded : kExitSomeNotUploaded;
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
    const auto parsed = ParseUploadOptions(arguments, currentDirectory());
    if (!parsed.options) {
        std::fprintf(stderr, "quaylet-upload: %s\n\n%s", parsed.error.c_str(), UploadUsage("quaylet-upload").c_str());
        return kExitUsage;
    }
    if (parsed.options->help) {
        std::fputs(UploadUsage("quaylet-upload").c_str(), stdout);
        return kExitAllUploaded;
    }
    QCoreApplication application(argc, argv);
    return run(*parsed.options);
}
