#include "http/errors.h"

#include "platform/utf8.h"

#include <array>
#include <string_view>

namespace Velto {

errmsg_exceptionA::errmsg_exceptionA(const char* message)
{
    SetErrorMessage(message);
}

const char* errmsg_exceptionA::ErrorMessage() const noexcept
{
    return m_message ? m_message->c_str() : "NULL";
}

void errmsg_exceptionA::SetErrorMessage(const char* message)
{
    if (message)
        m_message = std::string(message);
    else
        m_message.reset();
}

errmsg_exceptionW::errmsg_exceptionW(const wchar_t* message)
{
    SetErrorMessage(message);
}

const wchar_t* errmsg_exceptionW::ErrorMessage() const noexcept
{
    return m_message ? m_message->c_str() : L"NULL";
}

void errmsg_exceptionW::SetErrorMessage(const wchar_t* message)
{
    if (message)
        m_message = std::wstring(message);
    else
        m_message.reset();
}

namespace {

constexpr std::array<const char*, 1> kGroup0 = {"Not specified"};
constexpr std::array<const char*, 15> kGroup100 = {
    "Unexpected error occurred.",
    "The index is out of range.",
    "Out of memory.",
    "The requested URL is not a valid URL.",
    "The post context is not started yet.",
    "Couldn't read expected bytes from a file.",
    "The post context has not been finished yet.",
    "The port number is not valid.",
    "std::exception occurred.",
    "The encoded URL is not valid.",
    "The UTF8 string contains an invalid character.",
    "An unexpected arithmetic error has been occurred.",
    "An arithmetic overflow error has been occurred.",
    "An interger divide by zero exception has been occurred.",
    "The file (%s) aleady exists.",
};
constexpr std::array<const char*, 1> kGroup200 = {""};
constexpr std::array<const char*, 11> kGroup400 = {
    "::HttpQueryInfo failed.",
    "::InternetReadFile failed.",
    "::InternetOpen failed.",
    "::InternetConnect failed.",
    "::HttpOpenRequest failed.",
    "::HttpAddRequestHeaders failed.",
    "::HttpSendRequest failed.",
    "::HttpSendRequestEx failed.",
    "::InternetWriteFile failed.",
    "::HttpEndRequest failed.",
    "::InternetSetOption failed.",
};
constexpr std::array<const char*, 7> kGroup600 = {
    "::WideCharToMultiByte failed.",
    "::MultiByteToWideChar failed.",
    "::ReadFile failed.",
    "OpenFile (::CreateFile) failed (\"%s\").",
    "::SetFilePointer failed.",
    "::GetFileSize failed (\"%s\").",
    "::WriteFile failed (\"%s\").",
};

template <std::size_t N>
const char* pick(const std::array<const char*, N>& group, int index) noexcept
{
    return index >= 0 && static_cast<std::size_t>(index) < N ? group[static_cast<std::size_t>(index)] : nullptr;
}

constexpr std::size_t kMaxMessage = 511;

} // namespace

const char* ErrorMessageOf(int code) noexcept
{
    if (code < 0)
        return nullptr;
    if (code < 100)
        return pick(kGroup0, code);
    if (code < 200)
        return pick(kGroup100, code % 100);
    if (code < 400)
        return pick(kGroup200, code - 200);
    if (code < 600)
        return pick(kGroup400, code - 400);
    if (code < 1000)
        return pick(kGroup600, code - 600);
    return "user-defined error message";
}

void ThrowError(int code, int win32Error, const char* argument)
{
    const char* text = ErrorMessageOf(code);
    if (!text || !argument)
        throw httpclientexceptionA(text, code, win32Error);
    // Only "%s" is ever used in the table; the argument is put in as it is, so
    // a '%' inside a path cannot be taken for a conversion.
    std::string message(text);
    if (const auto at = message.find("%s"); at != std::string::npos)
        message.replace(at, 2, argument);
    if (message.size() > kMaxMessage)
        message.resize(quaylet::platform::Utf8CompletePrefix(std::string_view(message).substr(0, kMaxMessage)));
    throw httpclientexceptionA(message.c_str(), code, win32Error);
}

void ThrowArgumentError(const std::string& message)
{
    throw httpclientexceptionA(message.c_str(), kErrNotSpecified, 0);
}

void ThrowNullArgument(const char* where, const char* argument)
{
    ThrowArgumentError(std::string(where) + ": " + argument + " can not be NULL.");
}

void ThrowZeroArgument(const char* where, const char* argument)
{
    ThrowArgumentError(std::string(where) + ": " + argument + " can not be zero.");
}

void ThrowEmptyArgument(const char* where, const char* argument)
{
    ThrowArgumentError(std::string(where) + ": " + argument + " can not be an empty string.");
}

void ThrowCodePageArgument(const char* where)
{
    ThrowArgumentError(std::string(where) + ": CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
}

} // namespace Velto
