#pragma once

// Text conversions of the client. The narrow ("ANSI") texts of this system are
// UTF-8 bytes, so code page 0 stands for UTF-8 here: converting a narrow text
// to UTF-8 checks it and keeps its bytes. The client's UTF-8 flag stays off in
// this system; the encoders exist for the form post and for completeness.

#include <cstdint>
#include <string>
#include <string_view>

namespace Velto {

inline constexpr unsigned CP_ACP = 0;
inline constexpr unsigned CP_UTF7 = 65000;
inline constexpr unsigned CP_UTF8 = 65001;

// Conversions raising the wide exception (httpclientexceptionW).
class CHttpToolW {
public:
    // Narrow to wide: code 601 for bytes that are not a text of the code page.
    static std::wstring Ansi2Unicode(std::string_view text, unsigned codePage = CP_ACP);
    static std::string Unicode2Ansi(std::wstring_view text, unsigned codePage = CP_ACP);
    // The sniffed MIME type of a file (see CHttpToolA::GetMimeType) as wide text.
    static std::wstring GetMimeType(int hFile, unsigned codePage = CP_ACP);
};

class CHttpEncoderA {
public:
    // The UTF-8 form of the one character at the start of `ansiChar` (a lead
    // byte takes its trail bytes with it); codes 601 and 600.
    static std::string _AnsiCharToUtf8Char(std::string_view ansiChar, unsigned codePage = CP_ACP);
    // The UTF-8 form of a text, character by character.
    static std::string Utf8Encode(std::string_view text, unsigned codePage = CP_ACP);
    static uint32_t Utf8EncodeLen(std::string_view text, unsigned codePage = CP_ACP);
    // Letters and digits stay, a space becomes '+', every other byte %XX.
    static std::string UrlEncodeA(std::string_view text, bool utf8, unsigned codePage = CP_ACP);
    static uint32_t UrlEncodeLenA(std::string_view text, bool utf8, unsigned codePage = CP_ACP);
};

// 1 for a letter, digit or space, 3 for any other byte; szStr must not be null.
uint32_t _UrlEncodeLen(const char* szStr);
uint32_t UrlEncodedLength(std::string_view bytes);

// Wide and narrow text; false when the text has no form on the other side.
bool NarrowToWide(std::string_view text, std::wstring& out);
bool WideToNarrow(std::wstring_view text, std::string& out);
bool IsUtfCodePage(unsigned codePage);

// The byte length of the first character of a narrow text (at least 1).
std::size_t NarrowCharLength(std::string_view text, unsigned codePage = CP_ACP);

} // namespace Velto
