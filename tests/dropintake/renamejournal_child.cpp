// A process that renames a dropped file and then waits to be killed, so that
// a test can see what happens to the name after an unclean end.
// Usage: renamejournal_child <journal directory> <folder>
// Drops "<folder>/\xFF\nphoto.jpg", prints the temporary path and a newline
// (or "skipped: " and the reason when it could not be renamed), then waits
// for its standard input to close.

#include "dropintake/filedroplistctrl.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    quaylet::CFileDropListCtrl intake(argv[1]);
    std::string temp;
    intake.SetDropMode({quaylet::kMainWindowDropMask, quaylet::AcceptedExtensions(),
                        [&temp](quaylet::CFileDropListCtrl&, const std::string& path, uint32_t&, bool) {
                            temp = path;
                            return 0;
                        }});
    const std::string dropped = std::string(argv[2]) + "/\xFF\nphoto.jpg";
    intake.OnDropFiles({dropped});
    if (temp.empty())
        std::printf("skipped: %s\n", intake.RenameFailure(dropped).c_str());
    else
        std::printf("%s\n", temp.c_str());
    std::fflush(stdout);
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
    // A clean end gives the name back through the destructor.
    return 0;
}
