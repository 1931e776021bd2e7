#include "helper/Format.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace KvMigration {

std::wstring FormatString(const wchar_t* format, ...) {
    wchar_t buffer[FormatLimit + 1];
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buffer, FormatLimit + 1, format, args);
    va_end(args);
    if (n >= 0) {
        return std::wstring(buffer, static_cast<size_t>(n));
    }
    // vswprintf reports an overflow and an unconvertible narrow argument alike; only a result
    // that fits a larger buffer is a text that was too long.
    std::vector<wchar_t> large(1 << 20);
    va_start(args, format);
    n = std::vswprintf(large.data(), large.size(), format, args);
    va_end(args);
    if (n >= 0) {
        throw std::length_error("string too long");
    }
    throw std::invalid_argument("string cannot be formatted");
}

std::string FormatStringA(const char* format, ...) {
    char buffer[FormatLimit + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0) {
        throw std::invalid_argument("string cannot be formatted");
    }
    if (static_cast<size_t>(n) > FormatLimit) {
        throw std::length_error("string too long");
    }
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace KvMigration
