// The parts of CHttpToolA that work on files, texts and the boundary.

#include "http/httptool.h"

#include "http/encoders.h"
#include "http/errors.h"

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velto {

namespace {
constexpr const char* kOctetStream = "application/octet-stream";
constexpr std::size_t kSniffBytes = 256;
} // namespace

std::string CHttpToolA::Unicode2Ansi(std::wstring_view text, unsigned codePage)
{
    if (IsUtfCodePage(codePage))
        ThrowCodePageArgument("CHttpToolA::Unicode2Ansi");
    std::string out;
    if (!WideToNarrow(text, out))
        ThrowError(kErrWideToNarrow, EILSEQ);
    return out;
}

int CHttpToolA::OpenFile(const char* szFilePath)
{
    if (!szFilePath)
        ThrowNullArgument("CHttpToolA::OpenFile", "szFilePath");
    // Not blocking: a FIFO put where the file was would otherwise hold the
    // open until some writer comes. Reads of a regular file never block anyway.
    const int fd = ::open(szFilePath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return kInvalidFile;
    // Only a regular file has a length that can be announced before sending;
    // a folder, a FIFO or a device counts as a file that failed to open.
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return kInvalidFile;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

std::size_t CHttpToolA::ReadFile(int hFile, void* buffer, std::size_t size)
{
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(hFile, bytes + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowError(kErrReadFile, errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

uint32_t CHttpToolA::GetFileSize(int hFile, const char* szFilePath)
{
    if (hFile < 0)
        ThrowNullArgument("CHttpToolA::GetFileSize", "hFile");
    if (!szFilePath)
        ThrowNullArgument("CHttpToolA::GetFileSize", "szFilePath");
    struct stat info = {};
    if (::fstat(hFile, &info) != 0)
        ThrowError(kErrFileSize, errno, szFilePath);
    // The body length is a 32-bit value: a larger file cannot be described.
    if (static_cast<uint64_t>(info.st_size) > UINT32_MAX)
        ThrowError(kErrOverflow, EFBIG);
    return static_cast<uint32_t>(info.st_size);
}

std::string CHttpToolA::GetMimeType(int hFile, unsigned codePage)
{
    if (IsUtfCodePage(codePage))
        ThrowCodePageArgument("CHttpToolA::GetMimeType");
    if (hFile < 0)
        return kOctetStream;
    char head[kSniffBytes];
    const std::size_t got = ReadFile(hFile, head, sizeof head);
    if (::lseek(hFile, 0, SEEK_SET) != 0)
        ThrowError(kErrSeekFile, errno);
    const QMimeType type =
        QMimeDatabase().mimeTypeForData(QByteArray::fromRawData(head, static_cast<qsizetype>(got)));
    if (!type.isValid() || type.name().isEmpty())
        return kOctetStream;
    return type.name().toStdString();
}

std::wstring CHttpToolW::GetMimeType(int hFile, unsigned codePage)
{
    if (IsUtfCodePage(codePage))
        throw httpclientexceptionW(
            L"CHttpToolW::GetMimeType: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.",
            kErrNotSpecified, 0);
    return Ansi2Unicode(CHttpToolA::GetMimeType(hFile, codePage), codePage);
}

std::optional<std::string> CHttpToolA::CreateBoundary()
{
    unsigned char guid[16];
    std::size_t got = 0;
    while (got < sizeof guid) {
        const ssize_t n = ::getrandom(guid + got, sizeof guid - got, GRND_NONBLOCK);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        got += static_cast<std::size_t>(n);
    }
    // A version-4 GUID: random, with the version and variant bits set.
    guid[6] = static_cast<unsigned char>((guid[6] & 0x0F) | 0x40);
    guid[8] = static_cast<unsigned char>((guid[8] & 0x3F) | 0x80);
    const unsigned data1 = (unsigned(guid[0]) << 24) | (unsigned(guid[1]) << 16) | (unsigned(guid[2]) << 8) | guid[3];
    const unsigned data2 = (unsigned(guid[4]) << 8) | guid[5];
    const unsigned data3 = (unsigned(guid[6]) << 8) | guid[7];
    char text[64];
    std::snprintf(text, sizeof text, "----VELTA-%.08x%.04x%.04x%.02x%.02x%.02x%.02x%.02x%.02x%.02x%.02x-", data1,
                  data2, data3, guid[8], guid[9], guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
    return std::string(text);
}

} // namespace Velto
