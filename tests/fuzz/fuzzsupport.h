#pragma once

// What the harnesses share: a scratch folder of the process's own for the
// files they write, and small helpers to turn the input into files and texts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet::fuzz {

// A folder made on first use and removed with everything in it when the
// process exits normally. HOME, TMPDIR and the XDG folders point into it, so
// nothing the product writes lands outside; call it before the product first
// reads the environment (LLVMFuzzerInitialize).
const std::string& ScratchDir();

// ScratchDir() + "/" + relative.
std::string ScratchPath(const std::string& relative);

// Creates or replaces the file; aborts when it cannot be written, since a
// harness that silently feeds nothing would report coverage it never had.
void WriteInput(const std::string& path, std::string_view bytes);

// Removes everything inside the folder, keeping the folder itself.
void EmptyFolder(const std::string& path);

inline std::string_view AsText(const uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every occurrence of the separator.
std::vector<std::string_view> SplitInput(std::string_view text, char separator);

} // namespace quaylet::fuzz
