// The rename journal a later start replays: the input is an ended process's
// journal, replayed over a folder of files that it may name back.
//
// Replaying renames whatever the journal names, so the harness works in a
// folder of its own and passes over inputs that could name a path outside it:
// any "2f" (a hex '/') anywhere in the input. Names without a slash are
// relative to the working folder, which is the harness's own.

#include "dropintake/renamejournal.h"
#include "fuzzsupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

bool MayNameAPathOutside(std::string_view text)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '2' && std::tolower(static_cast<unsigned char>(text[i + 1])) == 'f')
            return true;
    return false;
}

std::string Files()
{
    return quaylet::fuzz::ScratchPath("files");
}

std::string Journals()
{
    return quaylet::fuzz::ScratchPath("journals");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::filesystem::create_directories(Files());
    std::filesystem::create_directories(Journals());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text = quaylet::fuzz::AsText(data, size);
    if (MayNameAPathOutside(text))
        return 0;
    char previous[4096];
    if (!::getcwd(previous, sizeof previous) || ::chdir(Files().c_str()) != 0)
        std::abort();

    // Files the journal's names may hit: "a", "b", "t1" (hex 61, 62, 7431).
    quaylet::fuzz::EmptyFolder(Files());
    for (const char* name : {"a", "b", "t1"})
        quaylet::fuzz::WriteInput(Files() + "/" + name, name);
    quaylet::fuzz::EmptyFolder(Journals());
    quaylet::fuzz::WriteInput(Journals() + "/1-abcdef.journal", text);

    quaylet::RenameJournal::RestoreEnded(Journals());

    if (::chdir(previous) != 0)
        std::abort();
    // A replayed journal is removed; every file is still there under one name.
    if (!std::filesystem::is_empty(Journals()))
        std::abort();
    const auto files = std::distance(std::filesystem::directory_iterator(Files()), {});
    if (files != 3)
        std::abort();
    return 0;
}
