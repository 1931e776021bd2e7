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

}  // namespace KvMigration
