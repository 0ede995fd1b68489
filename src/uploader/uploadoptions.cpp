#include "uploader/uploadoptions.h"

#include "platform/abspath.h"

#include <algorithm>
#include <iterator>

namespace quaylet {

namespace {

struct OptionRow {
    const char* name;       // without the leading "--"
    char shortName;         // 0: none
    const char* valueName;  // nullptr: the option takes no value
    const char* help;       // lines of the usage text, without indentation
    // Applies the option; returns an error line, or nothing.
    std::optional<std::string> (*apply)(UploadOptions& options, const std::string& value);
};

std::optional<std::string> setFlag(bool& flag)
{
    flag = true;
    return std::nullopt;
}

const OptionRow kOptions[] = {
    {"user", 0, "NAME",
     "sign in as NAME; the password is read as one line from\n"
     "standard input, or asked for without echo on a terminal.\n"
     "After a successful sign-in the credentials are stored like\n"
     "the client stores them. Without --user the stored\n"
     "credentials are used.",
     [](UploadOptions& o, const std::string& value) -> std::optional<std::string> {
         if (value.empty())
             return "--user needs a user name";
         o.user = value;
         return std::nullopt;
     }},
    {"sign-in-only", 0, nullptr,
     "only sign in, uploading nothing: with --user this stores\n"
     "the credentials for the client and later runs.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.signInOnly); }},
    {"quiet", 'q', nullptr,
     "show errors only: no progress, no outcome of a file that\n"
     "was uploaded or skipped, no summary unless files failed.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.quiet); }},
    {"json", 0, nullptr,
     "write one JSON object per file to standard output (see\n"
     "Output below); the summary then goes to standard error.\n"
     "With --history: the list as a JSON array.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.json); }},
    {"resume", 0, nullptr,
     "first queue again the files that earlier runs for this\n"
     "account left unfinished (killed, crashed, logged out).\n"
     "A file that was being sent is sent again.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.resume); }},
    {"retry-failed", 0, nullptr, "first queue again the files of this account that failed.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.retryFailed); }},
    {"history", 0, nullptr, "list the files queued for this account, newest first.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.history); }},
    {"limit-rate", 0, "RATE",
     "send at most RATE bytes per second; K, M and G after the\n"
     "number multiply by 1024, 1048576 and 1073741824 (\"250K\").",
     [](UploadOptions& o, const std::string& value) -> std::optional<std::string> {
         const auto rate = ParseRateLimit(value);
         if (!rate)
             return "--limit-rate needs a rate above zero in bytes per second, such as 500000, 250K or 2M";
         o.limitRate = *rate;
         return std::nullopt;
     }},
    {"help", 'h', nullptr, "show this text.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.help); }},
    {"version", 0, nullptr, "show the version.",
     [](UploadOptions& o, const std::string&) { return setFlag(o.version); }},
};

const OptionRow* findLong(const std::string& name)
{
    const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                  [&name](const OptionRow& r) { return name == r.name; });
    return row == std::end(kOptions) ? nullptr : row;
}

const OptionRow* findShort(char name)
{
    const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                  [name](const OptionRow& r) { return r.shortName != 0 && r.shortName == name; });
    return row == std::end(kOptions) ? nullptr : row;
}

} // namespace

UploadOptionsResult ParseUploadOptions(const std::vector<std::string>& arguments, const std::string& currentDir)
{
    UploadOptions options;
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (onlyPaths || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty())
                return {std::nullopt, "an empty path was given"};
            options.paths.push_back(platform::AbsolutePath(arg, currentDir));
            options.givenPaths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPaths = true;
            continue;
        }
        const bool isLong = arg[1] == '-';
        const std::size_t equals = isLong ? arg.find('=') : std::string::npos;
        const std::string name = isLong ? arg.substr(2, equals - 2) : std::string();
        const OptionRow* row = isLong ? findLong(name) : (arg.size() == 2 ? findShort(arg[1]) : nullptr);
        if (!row)
            return {std::nullopt, "unknown option " + (isLong ? arg.substr(0, equals) : arg)};
        std::string value;
        if (row->valueName) {
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
        } else if (equals != std::string::npos) {
            return {std::nullopt, "--" + name + " takes no value"};
        }
        if (auto error = row->apply(options, value))
            return {std::nullopt, std::move(*error)};
    }
    if (options.signInOnly && !options.paths.empty())
        return {std::nullopt, "--sign-in-only takes no files or folders"};
    if (options.history && (!options.paths.empty() || options.signInOnly || options.resume || options.retryFailed))
        return {std::nullopt, "--history takes no files, folders or other actions"};
    if (!options.help && !options.version && !options.signInOnly && !options.history && !options.resume &&
        !options.retryFailed && options.paths.empty())
        return {std::nullopt, "no files or folders to upload were given"};
    return {std::move(options), {}};
}

std::optional<uint64_t> ParseRateLimit(std::string_view text)
{
    // libcurl takes the rate as a signed 64-bit number.
    constexpr uint64_t kMost = INT64_MAX;
    uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
        case 'k': case 'K': unit = uint64_t{1} << 10; break;
        case 'm': case 'M': unit = uint64_t{1} << 20; break;
        case 'g': case 'G': unit = uint64_t{1} << 30; break;
        default: break;
        }
        if (unit != 1)
            text.remove_suffix(1);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || number > (kMost - static_cast<uint64_t>(c - '0')) / 10)
            return std::nullopt;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number == 0 || number > kMost / unit)
        return std::nullopt;
    return number * unit;
}

std::string AsGiven(const std::string& path, const UploadOptions& options)
{
    std::size_t best = options.paths.size();
    for (std::size_t i = 0; i < options.paths.size(); ++i) {
        const std::string& absolute = options.paths[i];
        const bool under = path.starts_with(absolute) &&
                           (path.size() == absolute.size() || absolute.back() == '/' || path[absolute.size()] == '/');
        // The innermost argument wins: "a" and "a/b" given, a/b/c.jpg is "a/b/c.jpg" either way.
        if (under && (best == options.paths.size() || absolute.size() > options.paths[best].size()))
            best = i;
    }
    if (best == options.paths.size())
        return path;
    return options.givenPaths[best] + path.substr(options.paths[best].size());
}

std::string UploadUsage(const std::string& program)
{
    std::string text = "Usage: " + program + " [OPTION...] [--] PATH...\n"
                       "       " + program + " [--user NAME] --sign-in-only\n"
                       "       " + program + " [--user NAME] [--resume] [--retry-failed] [--] [PATH...]\n"
                       "       " + program + " [--user NAME] --history [--json]\n"
                       "\n"
                       "Uploads photos and videos to your Glimmerly account, the way a drop on the\n"
                       "Quaylet window does: folders are searched, links followed, and only photo and\n"
                       "video files are taken. Photos are turned upright and scaled, videos converted.\n"
                       "\n"
                       "Options:\n";
    constexpr std::size_t kHelpColumn = 18;
    for (const OptionRow& row : kOptions) {
        std::string head = "  ";
        if (row.shortName != 0)
            head += std::string("-") + row.shortName + ", ";
        head += std::string("--") + row.name;
        if (row.valueName)
            head += std::string(" ") + row.valueName;
        // A head too wide for the column has its text start on the next line.
        if (head.size() + 2 > kHelpColumn)
            head += "\n";
        head.resize(head.back() == '\n' ? head.size() + kHelpColumn : kHelpColumn, ' ');
        std::string help = row.help;
        for (std::size_t line = 0; (line = help.find('\n', line)) != std::string::npos; line += kHelpColumn + 1)
            help.insert(line + 1, kHelpColumn, ' ');
        text += head + help + "\n";
    }
    text += "\n"
            "Output:\n"
            "  Progress goes to standard error; standard output carries the results\n"
            "  only: one line per file (\"PATH: uploaded\", \"PATH: skipped: ...\",\n"
            "  \"PATH: not uploaded: ...\") and a summary naming every file that was not\n"
            "  uploaded, also after an interrupt. With --json each file is instead one\n"
            "  object on a line of its own: {\"path\", \"outcome\" (uploaded, skipped,\n"
            "  failed, cancelled, not-started), \"result\" (the service's result code,\n"
            "  or null), \"bytes_sent\", \"seconds\", \"reason\"}; bytes of a name that are\n"
            "  not valid UTF-8 are written as \\xNN. A file the service already holds\n"
            "  is skipped and does not fail the run. When standard output cannot be\n"
            "  written (a full disk, a closed pipe), the run stops with an error.\n"
            "\n"
            "QUAYLET_SERVICE_URL points the uploader at another service address.\n"
            "Every queued file is kept in $XDG_STATE_HOME/quaylet/queue.db until it is done.\n"
            "The log is written to Quaylet.log in the current directory, or in\n"
            "$XDG_STATE_HOME/quaylet when that is your home or cannot be written.\n"
            "\n"
            "Exit status: 0 every file uploaded or skipped; 1 some files were not\n"
            "uploaded, or standard output could not be written; 2 usage error or\n"
            "nothing to upload; 3 sign-in failed; 128 + the signal's number when\n"
            "interrupted (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).\n";
    return text;
}

std::string UsageHint(const std::string& program)
{
    return "Try '" + program + " --help' for more information.\n";
}

} // namespace quaylet
