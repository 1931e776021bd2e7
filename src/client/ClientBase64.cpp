#include "client/ClientBase64.h"

namespace KvMigration {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kGroupsPerLine = 19;

int SextetOf(wchar_t c) {
    if (c >= L'A' && c <= L'Z') {
        return c - L'A';
    }
    if (c >= L'a' && c <= L'z') {
        return c - L'a' + 26;
    }
    if (c >= L'0' && c <= L'9') {
        return c - L'0' + 52;
    }
    if (c == L'+') {
        return 62;
    }
    if (c == L'/') {
        return 63;
    }
    return -1;
}

}  // namespace

std::wstring EncodeClientBase64(const uint8_t* data, size_t size) {
    const size_t groups = size / 3;
    std::wstring text;
    text.reserve((groups + 1) * 4 + (groups / kGroupsPerLine) * 2);
    for (size_t group = 0; group < groups; ++group) {
        const uint32_t bits = static_cast<uint32_t>(data[3 * group]) << 16 |
                              static_cast<uint32_t>(data[3 * group + 1]) << 8 | data[3 * group + 2];
        text += static_cast<wchar_t>(kAlphabet[bits >> 18]);
        text += static_cast<wchar_t>(kAlphabet[(bits >> 12) & 63]);
        text += static_cast<wchar_t>(kAlphabet[(bits >> 6) & 63]);
        text += static_cast<wchar_t>(kAlphabet[bits & 63]);
        if ((group + 1) % kGroupsPerLine == 0) {
            text += L"\r\n";
        }
    }
    const size_t rest = size % 3;
    if (rest != 0) {
        uint32_t bits = static_cast<uint32_t>(data[3 * groups]) << 16;
        if (rest == 2) {
            bits |= static_cast<uint32_t>(data[3 * groups + 1]) << 8;
        }
        text += static_cast<wchar_t>(kAlphabet[bits >> 18]);
        text += static_cast<wchar_t>(kAlphabet[(bits >> 12) & 63]);
        text += rest == 2 ? static_cast<wchar_t>(kAlphabet[(bits >> 6) & 63]) : L'=';
        text += L'=';
    }
    return text;
}

std::vector<uint8_t> DecodeClientBase64(std::wstring_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 3 / 4);
    uint32_t bits = 0;
    int held = 0;
    for (wchar_t c : text) {
        if (c == L'\0') {
            break;
        }
        const int sextet = SextetOf(c);
        if (sextet < 0) {
            continue;
        }
        bits = (bits << 6 | static_cast<uint32_t>(sextet)) & 0xFFFFFF;
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> held));
        }
    }
    return bytes;
}

}  // namespace KvMigration
