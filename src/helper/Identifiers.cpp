#include "helper/Identifiers.h"

#include "base/KvError.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kInvalidSid = 1337;
constexpr uint32_t kNoneMapped = 1332;
constexpr uint32_t kInvalidStringUuid = 1705;
constexpr size_t kMaxSubAuthorities = 15;

// Reads a decimal (or "0x" hexadecimal) number up to the next "-" or the end; false when there
// are no digits or the value exceeds `max`.
bool ReadNumber(const std::wstring& text, size_t& pos, uint64_t max, uint64_t& value) {
    int base = 10;
    if (pos + 1 < text.size() && text[pos] == L'0' &&
        (text[pos + 1] == L'x' || text[pos + 1] == L'X')) {
        base = 16;
        pos += 2;
    }
    size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] != L'-') {
        wchar_t c = text[pos];
        int digit = -1;
        if (c >= L'0' && c <= L'9') {
            digit = c - L'0';
        } else if (base == 16 && std::iswxdigit(static_cast<wint_t>(c))) {
            digit = std::towlower(static_cast<wint_t>(c)) - L'a' + 10;
        }
        if (digit < 0) {
            return false;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > max) {
            return false;
        }
        ++pos;
    }
    return pos > start;
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

size_t ValidSidLength(const uint8_t* bytes, size_t size) {
    if (bytes == nullptr || size < 8 || bytes[0] != 1 || bytes[1] > kMaxSubAuthorities) {
        return 0;
    }
    size_t length = 8 + 4 * static_cast<size_t>(bytes[1]);
    return length <= size ? length : 0;
}

SidBytes StringToSid(const std::wstring& text) {
    if (text.size() < 4 || (text[0] != L'S' && text[0] != L's') || text[1] != L'-') {
        KV_RAISE_ERROR_CODE(L"StringToSid", kInvalidData);
    }
    size_t pos = 2;
    uint64_t revision = 0;
    uint64_t authority = 0;
    if (!ReadNumber(text, pos, 0xFF, revision) || revision != 1 || pos >= text.size() ||
        text[pos++] != L'-' || !ReadNumber(text, pos, 0xFFFFFFFFFFFFull, authority)) {
        KV_RAISE_ERROR_CODE(L"StringToSid", kInvalidData);
    }
    SidBytes sid(8);
    sid[0] = 1;
    for (int i = 0; i < 6; ++i) {
        sid[2 + i] = static_cast<uint8_t>(authority >> (8 * (5 - i)));
    }
    while (pos < text.size()) {
        uint64_t sub = 0;
        if (text[pos++] != L'-' || !ReadNumber(text, pos, 0xFFFFFFFFull, sub) ||
            sid[1] == kMaxSubAuthorities) {
            KV_RAISE_ERROR_CODE(L"StringToSid", kInvalidData);
        }
        for (int i = 0; i < 4; ++i) {
            sid.push_back(static_cast<uint8_t>(sub >> (8 * i)));
        }
        ++sid[1];
    }
    return sid;
}

std::wstring SidToString(const uint8_t* bytes, size_t size) {
    if (ValidSidLength(bytes, size) == 0) {
        KV_RAISE_ERROR_CODE(L"SidToString", kInvalidSid);
    }
    uint64_t authority = 0;
    for (int i = 0; i < 6; ++i) {
        authority = authority << 8 | bytes[2 + i];
    }
    wchar_t buffer[32];
    std::wstring text = L"S-1-";
    // Windows writes authorities that do not fit 32 bits in hexadecimal.
    if (authority >= 0x100000000ull) {
        std::swprintf(buffer, 32, L"0x%012llX", static_cast<unsigned long long>(authority));
    } else {
        std::swprintf(buffer, 32, L"%llu", static_cast<unsigned long long>(authority));
    }
    text += buffer;
    for (size_t i = 0; i < bytes[1]; ++i) {
        const uint8_t* p = bytes + 8 + 4 * i;
        uint32_t sub = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        std::swprintf(buffer, 32, L"-%u", sub);
        text += buffer;
    }
    return text;
}

std::wstring GetComputerNameW() {
    auto name = Platform::LocalComputerName();
    if (!name) {
        KV_RAISE_ERROR_CODE(L"GetComputerNameW", Platform::ErrnoToWin32(errno));
    }
    return *name;
}

std::wstring GetLocalComputerSID() {
    // There is no account database to look "NAME$" up in; the administrator records the
    // computer account's SID in the registry file instead.
    auto registry = Platform::OpenSystemRegistry();
    auto text = registry->GetString(Platform::KeyKorvant, L"ComputerSid");
    if (!text || text->empty()) {
        KV_RAISE_ERROR_CODE(L"GetLocalComputerSID", kNoneMapped);
    }
    SidBytes sid;
    try {
        sid = StringToSid(*text);
    } catch (const KvBase::CKvError&) {
        KV_RAISE_ERROR_CODE(L"GetLocalComputerSID", kInvalidData);
    }
    return SidToString(sid);
}

std::wstring StringFromGuid(const Platform::Guid& guid) {
    wchar_t buffer[40];
    std::swprintf(buffer, 40, L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid.data1,
                  guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                  guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return buffer;
}

bool ParseGuid(const std::wstring& text, Platform::Guid& guid) {
    if (text.size() != 36 || text[8] != L'-' || text[13] != L'-' || text[18] != L'-' ||
        text[23] != L'-') {
        return false;
    }
    uint8_t digits[16] = {};
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            continue;
        }
        int high = HexDigit(text[i]);
        int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0 || i + 1 == 8 || i + 1 == 13 || i + 1 == 18 || i + 1 == 23) {
            return false;
        }
        digits[n++] = static_cast<uint8_t>(high << 4 | low);
        ++i;
    }
    guid.data1 = static_cast<uint32_t>(digits[0]) << 24 | static_cast<uint32_t>(digits[1]) << 16 |
                 static_cast<uint32_t>(digits[2]) << 8 | digits[3];
    guid.data2 = static_cast<uint16_t>(digits[4] << 8 | digits[5]);
    guid.data3 = static_cast<uint16_t>(digits[6] << 8 | digits[7]);
    for (int i = 0; i < 8; ++i) {
        guid.data4[i] = digits[8 + i];
    }
    return true;
}

Platform::Guid GuidFromString(const std::wstring& text) {
    Platform::Guid guid;
    if (text.empty() || !ParseGuid(text, guid)) {
        KV_RAISE_ERROR_CODE(L"GuidFromString", kInvalidData);
    }
    return guid;
}

Platform::Guid StringToGuid(const std::wstring& text) {
    if (text.empty()) {
        KV_RAISE_ERROR_CODE(L"StringToGuid", kInvalidData);
    }
    Platform::Guid guid;
    if (!ParseGuid(text, guid)) {
        KV_RAISE_ERROR_CODE(L"StringToGuid", kInvalidStringUuid);
    }
    return guid;
}

}  // namespace KvMigration
