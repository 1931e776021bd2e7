#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace KvMigration {

// The Base64 form of client blobs: Base64EncodeLines, the form with CR LF after every 76
// characters of whole groups.
std::wstring EncodeClientBase64(const uint8_t* data, size_t size);
inline std::wstring EncodeClientBase64(const std::vector<uint8_t>& data) {
    return EncodeClientBase64(data.data(), data.size());
}

// Base64DecodeSkipping of the text up to its first NUL.
std::vector<uint8_t> DecodeClientBase64(std::wstring_view text);

}  // namespace KvMigration
