#include "helper/Base64.h"

#include "base/KvError.h"

#include <climits>

namespace KvMigration {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
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

}  // namespace KvMigration
