#include "helper/JsonText.h"

#include <cstdint>

namespace KvMigration {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t value) {
    return value >= 0xD800 && value <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t value) {
    return value >= 0xDC00 && value <= 0xDFFF;
}

void AppendUtf8(std::string& out, uint32_t value) {
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<char>(0xC0 | value >> 6));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | value >> 12));
        out.push_back(static_cast<char>(0x80 | (value >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | value >> 18));
        out.push_back(static_cast<char>(0x80 | (value >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

void AppendEscaped(std::string& out, uint32_t value) {
    static const char kHex[] = "0123456789abcdef";
    if (value == '"' || value == '\\') {
        out.push_back('\\');
        out.push_back(static_cast<char>(value));
    } else if (value < 0x20) {
        out += "\\u00";
        out.push_back(kHex[value >> 4]);
        out.push_back(kHex[value & 0xF]);
    } else {
        AppendUtf8(out, value);
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::wstring_view text, size_t limit) {
    out.push_back('"');
    size_t written = 0;
    for (size_t i = 0; i < text.size(); ++i, ++written) {
        if (written == limit) {
            AppendUtf8(out, 0x2026);
            break;
        }
        // wchar_t is signed: a negative unit is as invalid as one past U+10FFFF.
        uint32_t value = static_cast<uint32_t>(text[i]);
        if (IsHighSurrogate(value) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
            value =
                0x10000 + ((value - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
        } else if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            value = kReplacement;
        }
        AppendEscaped(out, value);
    }
    out.push_back('"');
}

}  // namespace KvMigration
