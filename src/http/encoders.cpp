#include "http/encoders.h"

#include "http/errors.h"
#include "http/safeint.h"
#include "platform/utf8.h"

#include <cerrno>

namespace Velto {

namespace {

bool isUtfCodePage(unsigned codePage)
{
    return codePage == CP_UTF8 || codePage == CP_UTF7;
}

bool encodeOne(char32_t value, std::string& out)
{
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (value >> 6)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (value >> 12)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (value >> 18)));
        out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
    return true;
}

// Narrow to wide; false for bytes that are not UTF-8 text.
bool narrowToWide(std::string_view text, std::wstring& out)
{
    out.clear();
    for (std::size_t at = 0; at < text.size();) {
        char32_t value = 0;
        const std::size_t length = quaylet::platform::DecodeUtf8(text, at, value);
        if (length == 0)
            return false;
        out.push_back(static_cast<wchar_t>(value));
        at += length;
    }
    return true;
}

bool wideToNarrow(std::wstring_view text, std::string& out)
{
    out.clear();
    for (const wchar_t c : text)
        if (!encodeOne(static_cast<char32_t>(c), out))
            return false;
    return true;
}

bool isAlnum(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

bool NarrowToWide(std::string_view text, std::wstring& out)
{
    return narrowToWide(text, out);
}

bool WideToNarrow(std::wstring_view text, std::string& out)
{
    return wideToNarrow(text, out);
}

bool IsUtfCodePage(unsigned codePage)
{
    return isUtfCodePage(codePage);
}

std::wstring CHttpToolW::Ansi2Unicode(std::string_view text, unsigned codePage)
{
    if (isUtfCodePage(codePage))
        throw httpclientexceptionW(
            L"CHttpToolW::Ansi2Unicode: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.",
            kErrNotSpecified, 0);
    std::wstring out;
    if (!narrowToWide(text, out))
        throw httpclientexceptionW(L"::MultiByteToWideChar failed.", kErrNarrowToWide, EILSEQ);
    return out;
}

std::string CHttpToolW::Unicode2Ansi(std::wstring_view text, unsigned codePage)
{
    if (isUtfCodePage(codePage))
        throw httpclientexceptionW(
            L"CHttpToolW::Unicode2Ansi: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.",
            kErrNotSpecified, 0);
    std::string out;
    if (!wideToNarrow(text, out))
        throw httpclientexceptionW(L"::WideCharToMultiByte failed.", kErrWideToNarrow, EILSEQ);
    return out;
}

std::size_t NarrowCharLength(std::string_view text, unsigned /*codePage*/)
{
    if (text.empty())
        return 0;
    char32_t ignored = 0;
    const std::size_t length = quaylet::platform::DecodeUtf8(text, 0, ignored);
    if (length != 0)
        return length;
    // A broken sequence: its lead byte and the continuation bytes that follow.
    std::size_t end = 1;
    while (end < text.size() && end < 4 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end;
}

std::string CHttpEncoderA::_AnsiCharToUtf8Char(std::string_view ansiChar, unsigned codePage)
{
    if (isUtfCodePage(codePage))
        ThrowCodePageArgument("CHttpEncoderA::_AnsiCharToUtf8Char");
    const std::string_view one = ansiChar.substr(0, NarrowCharLength(ansiChar, codePage));
    std::wstring wide;
    if (!narrowToWide(one, wide))
        ThrowError(kErrNarrowToWide, EILSEQ);
    std::string out;
    if (!wideToNarrow(wide, out))
        ThrowError(kErrWideToNarrow, EILSEQ);
    return out;
}

std::string CHttpEncoderA::Utf8Encode(std::string_view text, unsigned codePage)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = NarrowCharLength(text.substr(at), codePage);
        out += _AnsiCharToUtf8Char(text.substr(at, length), codePage);
        at += length;
    }
    return out;
}

uint32_t CHttpEncoderA::Utf8EncodeLen(std::string_view text, unsigned codePage)
{
    return SafeNarrow(Utf8Encode(text, codePage).size());
}

std::string CHttpEncoderA::UrlEncodeA(std::string_view text, bool utf8, unsigned codePage)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string converted = utf8 ? Utf8Encode(text, codePage) : std::string();
    const std::string_view bytes = utf8 ? std::string_view(converted) : text;
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (isAlnum(b)) {
            out.push_back(c);
        } else if (b == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

uint32_t CHttpEncoderA::UrlEncodeLenA(std::string_view text, bool utf8, unsigned codePage)
{
    if (!utf8)
        return UrlEncodedLength(text);
    return UrlEncodedLength(Utf8Encode(text, codePage));
}

uint32_t UrlEncodedLength(std::string_view bytes)
{
    uint32_t length = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        length = SafeAdd(length, isAlnum(b) || b == ' ' ? 1 : 3);
    }
    return length;
}

uint32_t _UrlEncodeLen(const char* szStr)
{
    if (!szStr)
        ThrowArgumentError("_UrlEncodeLen: szStr can not be NULL.");
    return UrlEncodedLength(szStr);
}

} // namespace Velto
