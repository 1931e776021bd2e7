#include "helper/Base64.h"

#include "base/KvError.h"

#include <climits>

namespace KvMigration {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr size_t kGroupsPerLine = 19;

int Sextet(wchar_t c) {
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

std::string Base64Encode(const uint8_t* data, size_t size) {
    // The required length is estimated in a signed 32-bit number before encoding.
    if (size > static_cast<size_t>(INT_MAX) / 4) {
        KV_RAISE_ERROR_CODE(L"EncodeGetRequiredLength", 13);
    }
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        uint32_t v = static_cast<uint32_t>(data[i]) << 16 |
                     static_cast<uint32_t>(data[i + 1]) << 8 | data[i + 2];
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out.push_back(kAlphabet[v >> 6 & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    if (size - i == 1) {
        uint32_t v = static_cast<uint32_t>(data[i]) << 16;
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out += "==";
    } else if (size - i == 2) {
        uint32_t v = static_cast<uint32_t>(data[i]) << 16 | static_cast<uint32_t>(data[i + 1]) << 8;
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out.push_back(kAlphabet[v >> 6 & 63]);
        out.push_back('=');
    }
    return out;
}

std::vector<uint8_t> Base64Decode(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t group = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        int sextet = Sextet(c);
        if (sextet < 0) {
            continue;
        }
        group = group << 6 | static_cast<uint32_t>(sextet);
        if (++count == 4) {
            out.push_back(static_cast<uint8_t>(group >> 16));
            out.push_back(static_cast<uint8_t>(group >> 8));
            out.push_back(static_cast<uint8_t>(group));
            group = 0;
            count = 0;
        }
    }
    // A last group of k characters gives k-1 bytes; a single character gives nothing.
    if (count >= 2) {
        group <<= 6 * (4 - count);
        out.push_back(static_cast<uint8_t>(group >> 16));
        if (count == 3) {
            out.push_back(static_cast<uint8_t>(group >> 8));
        }
    }
    return out;
}

std::wstring Base64EncodeLines(const uint8_t* data, size_t size) {
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

std::vector<uint8_t> Base64DecodeSkipping(std::wstring_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    uint32_t bits = 0;
    int held = 0;
    for (wchar_t c : text) {
        const int sextet = Sextet(c);
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
