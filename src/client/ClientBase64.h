#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace KvMigration {

// The Base64 form of client blobs: the characters of the complete 3-byte groups in lines of 76
// (19 groups), each full line followed by CR LF, then the final partial group with its "="
// padding. So 64 bytes give 76 characters, CR LF and 12 more, and a multiple of 57 bytes ends
// with CR LF.
std::wstring EncodeClientBase64(const uint8_t* data, size_t size);
inline std::wstring EncodeClientBase64(const std::vector<uint8_t>& data) {
    return EncodeClientBase64(data.data(), data.size());
}

// Skips every character outside the alphabet (line breaks, blanks and "=" included) and stops at
// a NUL; k valid characters of a last group give the first 6k/8 bytes (rounded down).
std::vector<uint8_t> DecodeClientBase64(std::wstring_view text);

}  // namespace KvMigration
