#pragma once

#include <string>

namespace KvMigration {

// printf-style formatting into a 2048-character buffer (glibc formats: "%ls" wide, "%s" narrow
// arguments). A result longer than 2047 characters throws std::length_error("string too long").
std::wstring FormatString(const wchar_t* format, ...);
std::string FormatStringA(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr size_t FormatLimit = 2047;

}  // namespace KvMigration
