#include "app/commandline.h"

#include "platform/abspath.h"

#include <algorithm>
#include <cctype>

namespace quaylet {

namespace {

std::string Lower(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// True when first is a switch (and applies it).
bool ApplySwitch(const std::string& first, ClientCommandLine& line)
{
    const std::string lower = Lower(first);
    if (lower == "/s" || lower == "-s" || lower == "--hidden")
        line.show = false;
    else if (lower == "/q" || lower == "-q" || lower == "--replace")
        line.replace = true;
    else if (lower == "--help" || lower == "-h")
        line.help = true;
    else if (lower == "--version")
        line.version = true;
    else
        return lower == "--"; // the end of switches: a file may then be called "-s"
    return true;
}

} // namespace

ClientCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& currentDir)
{
    ClientCommandLine line;
    auto next = arguments.begin();
    bool filesOnly = false;
    if (next != arguments.end() && ApplySwitch(*next, line)) {
        filesOnly = *next == "--";
        ++next;
    }
    for (; next != arguments.end(); ++next) {
        if (next->empty())
            continue;
        if (!filesOnly && *next == "--") {
            filesOnly = true;
            continue;
        }
        // A mistyped switch must not be queued as a file: a name that starts
        // with "-" is given after "--".
        if (!filesOnly && next->front() == '-') {
            if (line.unknownOption.empty())
                line.unknownOption = *next;
            continue;
        }
        line.paths.push_back(platform::AbsolutePath(*next, currentDir));
    }
    return line;
}

std::string UnknownOptionText(const std::string& program, const std::string& option)
{
    return program + ": unknown option '" + option + "'\nTry '" + program + " --help' for more information.\n";
}

std::string ClientUsage(const std::string& program)
{
    return "Usage: " + program + " [SWITCH] [FILE...]\n"
           "\n"
           "Uploads photos and videos to your Glimmerly account: drop them on the\n"
           "Quaylet window, or name them here and they are queued as if dropped.\n"
           "One Quaylet runs per user: a second start shows the running one, hands\n"
           "it the files named and ends.\n"
           "\n"
           "Switch (the first argument only, in any letter case):\n"
           "  -s, --hidden, /s    start in the tray without showing the window\n"
           "  -q, --replace, /q   close the running Quaylet, then start anew\n"
           "  -h, --help          show this text\n"
           "      --version       show the version\n"
           "      --              only files follow\n"
           "\n"
           "The log is written to Quaylet.log in the current directory, or in\n"
           "$XDG_STATE_HOME/quaylet when that is your home or cannot be written.\n";
}

} // namespace quaylet
