#include "transform/XmlText.h"

namespace KvMigration {
namespace {

constexpr unsigned long kMaxCodePoint = 0x10FFFF;

bool IsSurrogate(unsigned long code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

}  // namespace

std::wstring WithLiteralCharacters(const std::wstring& xml) {
    std::wstring result;
    result.reserve(xml.size());
    size_t i = 0;
    while (i < xml.size()) {
        if (xml.compare(i, 3, L"&#x") == 0) {
            size_t end = i + 3;
            unsigned long code = 0;
            while (end < xml.size() && end - i - 3 < 8 && HexDigit(xml[end]) >= 0) {
                code = code * 16 + static_cast<unsigned long>(HexDigit(xml[end]));
                ++end;
            }
            if (end > i + 3 && end < xml.size() && xml[end] == L';' && code >= 0x80 &&
                code <= kMaxCodePoint && !IsSurrogate(code)) {
                result.push_back(static_cast<wchar_t>(code));
                i = end + 1;
                continue;
            }
        }
        result.push_back(xml[i]);
        ++i;
    }
    return result;
}

}  // namespace KvMigration
