#include "icheck/B64Str.h"

#include "base/KvError.h"

#include <climits>

namespace KvMigration {
namespace {

constexpr wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 76;

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

CB64Str::CB64Str(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    const size_t size = bytes_.size();
    // The product's encoder computes the text's length in a signed 32-bit number.
    if (size > static_cast<size_t>(INT_MAX) / 4) {
        KV_RAISE_ERROR_CODE(L"CB64Str::CB64Str", B64EncodeFailure);
    }
    const size_t whole = size / 3 * 3;
    text_.reserve(size / 3 * 4 + size / 57 * 2 + 4);
    size_t column = 0;
    for (size_t i = 0; i < whole; i += 3) {
        uint32_t v = static_cast<uint32_t>(bytes_[i]) << 16 |
                     static_cast<uint32_t>(bytes_[i + 1]) << 8 | bytes_[i + 2];
        text_.push_back(kAlphabet[v >> 18 & 63]);
        text_.push_back(kAlphabet[v >> 12 & 63]);
        text_.push_back(kAlphabet[v >> 6 & 63]);
        text_.push_back(kAlphabet[v & 63]);
        column += 4;
        if (column == kLineLength) {
            text_ += L"\r\n";
            column = 0;
        }
    }
    if (size - whole == 1) {
        uint32_t v = static_cast<uint32_t>(bytes_[whole]) << 16;
        text_.push_back(kAlphabet[v >> 18 & 63]);
        text_.push_back(kAlphabet[v >> 12 & 63]);
        text_ += L"==";
    } else if (size - whole == 2) {
        uint32_t v = static_cast<uint32_t>(bytes_[whole]) << 16 |
                     static_cast<uint32_t>(bytes_[whole + 1]) << 8;
        text_.push_back(kAlphabet[v >> 18 & 63]);
        text_.push_back(kAlphabet[v >> 12 & 63]);
        text_.push_back(kAlphabet[v >> 6 & 63]);
        text_.push_back(L'=');
    }
}

CB64Str::CB64Str(const std::wstring& text) : text_(text) {
    bytes_.reserve(text.size() / 4 * 3 + 2);
    uint32_t group = 0;
    int count = 0;
    for (wchar_t c : text) {
        int sextet = Sextet(c);
        if (sextet < 0) {
            continue;
        }
        group = group << 6 | static_cast<uint32_t>(sextet);
        if (++count == 4) {
            bytes_.push_back(static_cast<uint8_t>(group >> 16));
            bytes_.push_back(static_cast<uint8_t>(group >> 8));
            bytes_.push_back(static_cast<uint8_t>(group));
            group = 0;
            count = 0;
        }
    }
    if (count >= 2) {
        group <<= 6 * (4 - count);
        bytes_.push_back(static_cast<uint8_t>(group >> 16));
        if (count == 3) {
            bytes_.push_back(static_cast<uint8_t>(group >> 8));
        }
    }
}

}  // namespace KvMigration
