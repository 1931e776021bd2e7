#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Code page numbers as the rest of the program names them. CodePageAnsi is the codeset of the
// locale chosen by setlocale(LC_CTYPE, "") at start.
inline constexpr unsigned CodePageAnsi = 0;
inline constexpr unsigned CodePage1251 = 1251;
inline constexpr unsigned CodePageUtf8 = 65001;

// Characters the target code page lacks become "?"; bytes that are not valid in the source code
// page become "?" as well. An empty input gives an empty output. Never throws for bad input.
std::string WideToCodePage(std::wstring_view text, unsigned codePage);
std::wstring CodePageToWide(std::string_view text, unsigned codePage);

inline std::string WideToUtf8(std::wstring_view text) {
    return WideToCodePage(text, CodePageUtf8);
}
inline std::wstring Utf8ToWide(std::string_view text) {
    return CodePageToWide(text, CodePageUtf8);
}
inline std::string WideToAnsi(std::wstring_view text) {
    return WideToCodePage(text, CodePageAnsi);
}
inline std::wstring AnsiToWide(std::string_view text) {
    return CodePageToWide(text, CodePageAnsi);
}

// The code page of text that a Windows server wrote (group-policy templates and what their values
// decode to): the value "ACP" under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Nls\CodePage of the registry file, for
// example 1251; the locale's code set (CodePageAnsi) when the value is missing or names no code
// page this machine can convert.
unsigned ServerCodePage();
inline std::wstring ServerAnsiToWide(std::string_view text) {
    return CodePageToWide(text, ServerCodePage());
}
inline constexpr const wchar_t* KeyCodePage =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// A command-line argument: UTF-8 as it should be, with every byte that is not valid UTF-8 turned
// into U+FFFD, which no path accepts (so a name typed in another encoding is refused rather than
// taken for a different file).
std::wstring ArgumentToWide(std::string_view bytes);
inline constexpr wchar_t ReplacementCharacter = L'\uFFFD';

// UTF-16LE bytes as formats such as registry exports and integrity-check bodies store them.
std::wstring Utf16LeToWide(std::string_view bytes);
std::string WideToUtf16Le(std::wstring_view text);

}  // namespace Platform
