#include "uploader/uploadoptions.h"

#include "platform/abspath.h"

namespace quaylet {

UploadOptionsResult ParseUploadOptions(const std::vector<std::string>& arguments, const std::string& currentDir)
{
    UploadOptions options;
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (!onlyPaths && arg == "--") {
            onlyPaths = true;
        } else if (!onlyPaths && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!onlyPaths && arg == "--version") {
            options.version = true;
        } else if (!onlyPaths && arg == "--sign-in-only") {
            options.signInOnly = true;
        } else if (!onlyPaths && arg == "--resume") {
            options.resume = true;
        } else if (!onlyPaths && arg == "--retry-failed") {
            options.retryFailed = true;
        } else if (!onlyPaths && arg == "--history") {
            options.history = true;
        } else if (!onlyPaths && arg == "--json") {
            options.json = true;
        } else if (!onlyPaths && arg == "--user") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty())
                return {std::nullopt, "--user needs a user name"};
            options.user = arguments[++i];
        } else if (!onlyPaths && arg.rfind("--user=", 0) == 0) {
            if (arg.size() == 7)
                return {std::nullopt, "--user needs a user name"};
            options.user = arg.substr(7);
        } else if (!onlyPaths && arg.size() > 1 && arg[0] == '-') {
            return {std::nullopt, "unknown option " + arg};
        } else if (arg.empty()) {
            return {std::nullopt, "an empty path was given"};
        } else {
            options.paths.push_back(platform::AbsolutePath(arg, currentDir));
        }
    }
    if (options.signInOnly && !options.paths.empty())
        return {std::nullopt, "--sign-in-only takes no files or folders"};
    if (options.history && (!options.paths.empty() || options.signInOnly || options.resume || options.retryFailed))
        return {std::nullopt, "--history takes no files, folders or other actions"};
    if (options.json && !options.history)
        return {std::nullopt, "--json goes with --history"};
    if (!options.help && !options.version && !options.signInOnly && !options.history && !options.resume &&
        !options.retryFailed && options.paths.empty())
        return {std::nullopt, "no files or folders to upload were given"};
    return {std::move(options), {}};
}

std::string UploadUsage(const std::string& program)
{
    return "Usage: " + program + " [--user NAME] [--] PATH...\n"
           "       " + program + " [--user NAME] --sign-in-only\n"
           "       " + program + " [--user NAME] [--resume] [--retry-failed] [--] [PATH...]\n"
           "       " + program + " [--user NAME] --history [--json]\n"
           "\n"
           "Uploads photos and videos to your Glimmerly account, the way a drop on the\n"
           "Quaylet window does: folders are searched, links followed, and only photo and\n"
           "video files are taken. Photos are turned upright and scaled, videos converted.\n"
           "\n"
           "Options:\n"
           "  --user NAME     sign in as NAME; the password is read as one line from\n"
           "                  standard input, or asked for without echo on a terminal.\n"
           "                  After a successful sign-in the credentials are stored like\n"
           "                  the client stores them. Without --user the stored\n"
           "                  credentials are used.\n"
           "  --sign-in-only  only sign in, uploading nothing: with --user this stores\n"
           "                  the credentials for the client and later runs.\n"
           "  --resume        first queue again the files that earlier runs for this\n"
           "                  account left unfinished (killed, crashed, logged out).\n"
           "                  A file that was being sent is sent again.\n"
           "  --retry-failed  first queue again the files of this account that failed.\n"
           "  --history       list the files queued for this account, newest first.\n"
           "  --json          with --history: as a JSON array.\n"
           "  --help          show this text.\n"
           "  --version       show the version.\n"
           "\n"
           "QUAYLET_SERVICE_URL points the uploader at another service address.\n"
           "Every queued file is kept in $XDG_STATE_HOME/quaylet/queue.db until it is done.\n"
           "The log is written to Quaylet.log in the current directory, or in\n"
           "$XDG_STATE_HOME/quaylet when that is your home or cannot be written.\n"
           "\n"
           "Exit status: 0 all files uploaded; 1 some files were not uploaded; 2 usage\n"
           "error or nothing to upload; 3 sign-in failed; 128 + the signal's number when\n"
           "interrupted (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).\n";
}

} // namespace quaylet
