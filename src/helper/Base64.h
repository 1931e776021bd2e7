#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace KvMigration {

// Standard alphabet with "=" padding and no line breaks. An input whose length times four
// exceeds 2147483647 raises code 13.
std::string Base64Encode(const uint8_t* data, size_t size);
inline std::string Base64Encode(const std::vector<uint8_t>& data) {
    return Base64Encode(data.data(), data.size());
}

// Stops at the first "="; characters outside the alphabet are skipped.
std::vector<uint8_t> Base64Decode(std::string_view text);

// The form with line breaks that the client records and integrity-check bodies use in the
// migration file: the characters of the complete 3-byte groups in lines of 76 (19 groups), each
// full line followed by CR LF, then the final partial group with its "=" padding. So 64 bytes
// give 76 characters, CR LF and 12 more, and a multiple of 57 bytes ends with CR LF.
std::wstring Base64EncodeLines(const uint8_t* data, size_t size);

// Every character outside the alphabet (line breaks, blanks, "=", anything not ASCII) is skipped;
// k valid characters of a last group give the first 6k/8 bytes (rounded down).
std::vector<uint8_t> Base64DecodeSkipping(std::wstring_view text);

}  // namespace KvMigration
