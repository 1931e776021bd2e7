#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace KvTest {

// "ZLIB", the stored length (little-endian) and the zlib stream of `text`.
inline std::string MakeBlob(const std::string& text, int64_t storedLength = -1) {
    uLongf size = compressBound(text.size());
    std::string stream(size, '\0');
    compress(reinterpret_cast<Bytef*>(stream.data()), &size,
             reinterpret_cast<const Bytef*>(text.data()), text.size());
    stream.resize(size);
    const uint32_t stored =
        storedLength < 0 ? static_cast<uint32_t>(text.size()) : static_cast<uint32_t>(storedLength);
    std::string blob = "ZLIB";
    for (int shift = 0; shift < 32; shift += 8) {
        blob.push_back(static_cast<char>((stored >> shift) & 0xFF));
    }
    return blob + stream;
}

// Two upper-case hexadecimal digits per byte, then the checksum byte.
inline std::wstring MakeNibbles(const std::string& bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    uint8_t sum = 0;
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        sum = static_cast<uint8_t>(sum + byte);
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0xF]);
    }
    text.push_back(digits[sum >> 4]);
    text.push_back(digits[sum & 0xF]);
    return text;
}

}  // namespace KvTest
