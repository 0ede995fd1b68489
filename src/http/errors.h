#pragma once

// The HTTP client reports every failure by throwing: an error code from the
// table in errors.cpp, its message, and the system error taken right after the
// failing call (an errno value, or a libcurl code for transfer failures).
// Code 0 marks a misuse of the library (a missing argument), 100 to 199 the
// library's own checks, 400 to 599 the internet layer, 600 to 999 files and
// text conversions.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace Velto {

// An exception that carries an owned message, or none.
class errmsg_exceptionA : public std::exception {
public:
    errmsg_exceptionA() = default;
    explicit errmsg_exceptionA(const char* message);
    errmsg_exceptionA(const errmsg_exceptionA&) = default;
    errmsg_exceptionA& operator=(const errmsg_exceptionA&) = default;
    ~errmsg_exceptionA() override = default;

    const char* what() const noexcept override { return ErrorMessage(); }
    // The message, or "NULL" when there is none.
    virtual const char* ErrorMessage() const noexcept;
    // Replaces the message by a copy; nullptr clears it.
    virtual void SetErrorMessage(const char* message);

private:
    std::optional<std::string> m_message;
};

// The wide form, used by the wide conversions.
class errmsg_exceptionW : public std::exception {
public:
    errmsg_exceptionW() = default;
    explicit errmsg_exceptionW(const wchar_t* message);
    errmsg_exceptionW(const errmsg_exceptionW&) = default;
    errmsg_exceptionW& operator=(const errmsg_exceptionW&) = default;
    ~errmsg_exceptionW() override = default;

    const char* what() const noexcept override { return "errmsg_exceptionW"; }
    virtual const wchar_t* ErrorMessage() const noexcept;
    virtual void SetErrorMessage(const wchar_t* message);

private:
    std::optional<std::wstring> m_message;
};

class httpclientexceptionA : public errmsg_exceptionA {
public:
    httpclientexceptionA(const char* message = nullptr, int errorCode = 0, int win32Error = 0)
        : errmsg_exceptionA(message), m_errorCode(errorCode), m_win32Error(win32Error)
    {
    }
    int ErrorCode() const noexcept { return m_errorCode; }
    int Win32Error() const noexcept { return m_win32Error; }

private:
    int m_errorCode = 0;
    int m_win32Error = 0;
};

class httpclientexceptionW : public errmsg_exceptionW {
public:
    httpclientexceptionW(const wchar_t* message = nullptr, int errorCode = 0, int win32Error = 0)
        : errmsg_exceptionW(message), m_errorCode(errorCode), m_win32Error(win32Error)
    {
    }
    const char* what() const noexcept override { return "httpclientexceptionW"; }
    int ErrorCode() const noexcept { return m_errorCode; }
    int Win32Error() const noexcept { return m_win32Error; }

private:
    int m_errorCode = 0;
    int m_win32Error = 0;
};

// Error codes the client raises.
enum HttpClientError : int {
    kErrNotSpecified = 0,
    kErrUnexpected = 100,
    kErrOutOfRange = 101,
    kErrOutOfMemory = 102,
    kErrInvalidUrl = 103,
    kErrPostNotStarted = 104,
    kErrShortRead = 105,
    kErrPostNotFinished = 106,
    kErrInvalidPort = 107,
    kErrStdException = 108,
    kErrInvalidEncodedUrl = 109,
    kErrInvalidUtf8 = 110,
    kErrArithmetic = 111,
    kErrOverflow = 112,
    kErrDivideByZero = 113,
    kErrFileExists = 114,
    kErrQueryInfo = 400,
    kErrReadResponse = 401,
    kErrOpenSession = 402,
    kErrConnect = 403,
    kErrOpenRequest = 404,
    kErrAddHeader = 405,
    kErrSendRequest = 406,
    kErrSendRequestEx = 407,
    kErrWriteBody = 408,
    kErrEndRequest = 409,
    kErrSetOption = 410,
    kErrWideToNarrow = 600,
    kErrNarrowToWide = 601,
    kErrReadFile = 602,
    kErrOpenFile = 603,
    kErrSeekFile = 604,
    kErrFileSize = 605,
    kErrWriteFile = 606,
};

// The message of a code, looked up by range; nullptr for a code that has none.
const char* ErrorMessageOf(int code) noexcept;

// Throws httpclientexceptionA with the code's message. When an argument is
// given, the message's "%s" is filled with it; the result is cut to 511 bytes
// (never inside a UTF-8 sequence).
[[noreturn]] void ThrowError(int code, int win32Error = 0, const char* argument = nullptr);

// A misuse of the library: code 0, system error 0, the given text.
[[noreturn]] void ThrowArgumentError(const std::string& message);

// "<where>: <argument> can not be NULL." and its siblings.
[[noreturn]] void ThrowNullArgument(const char* where, const char* argument);
[[noreturn]] void ThrowZeroArgument(const char* where, const char* argument);
[[noreturn]] void ThrowEmptyArgument(const char* where, const char* argument);
// "<where>: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter."
[[noreturn]] void ThrowCodePageArgument(const char* where);

} // namespace Velto
