#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace quaylet::fuzz {

namespace {

struct Scratch {
    Scratch()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/quaylet-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("fuzz: mkdtemp");
            std::abort();
        }
        path = pattern;
        for (const char* sub : {"home", "tmp", "config", "state", "runtime"})
            std::filesystem::create_directory(path + "/" + sub);
        ::setenv("HOME", (path + "/home").c_str(), 1);
        ::setenv("TMPDIR", (path + "/tmp").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (path + "/state").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (path + "/runtime").c_str(), 1);
        ::chmod((path + "/runtime").c_str(), 0700);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string path;
};

} // namespace

const std::string& ScratchDir()
{
    static const Scratch scratch;
    return scratch.path;
}

std::string ScratchPath(const std::string& relative)
{
    return ScratchDir() + "/" + relative;
}

void WriteInput(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
}

void EmptyFolder(const std::string& path)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

std::vector<std::string_view> SplitInput(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t at = text.find(separator);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return pieces;
        text.remove_prefix(at + 1);
    }
}

} // namespace quaylet::fuzz
