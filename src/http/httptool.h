#pragma once

// Thin, stateless wrappers of the client over files, texts and the internet
// layer. Every failure throws httpclientexceptionA with the code of the
// operation and the system error taken right after the failing call.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Velto {

// The file "handle" of the client is a file descriptor.
inline constexpr int kInvalidFile = -1;

// The boundary used when no random one can be made.
inline constexpr const char* kFixedBoundary = "----VELTO-FB3B405B7EAE495aB0C0295C54D4E096-";

class CHttpToolA {
public:
    static std::string Unicode2Ansi(std::wstring_view text, unsigned codePage = 0);

    // Opens a regular file for reading; kInvalidFile (errno set) when it
    // cannot be opened or is no regular file. Never throws for a bad file.
    static int OpenFile(const char* szFilePath);
    // The size in bytes; code 605 with the path when it cannot be read, code
    // 112 for a file of 4 GiB or more.
    static uint32_t GetFileSize(int hFile, const char* szFilePath);
    // The MIME type sniffed from the first 256 bytes; the file position is
    // back at the start afterwards. "application/octet-stream" for an invalid
    // handle or unknown content.
    static std::string GetMimeType(int hFile, unsigned codePage = 0);
    // "----VELTA-" + 32 lowercase hex digits of a random GUID + "-" (43
    // characters); none when no random value can be had.
    static std::optional<std::string> CreateBoundary();
};

} // namespace Velto
