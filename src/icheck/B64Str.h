#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KvMigration {

// A body of the integrity-check model in its two forms: the bytes the directory holds and the
// Base64 text of the migration file.
class CB64Str {
public:
    // Standard alphabet with "=" padding, a CR LF after every complete line of 76 characters of
    // whole groups, the last incomplete group appended without a break of its own: a body whose
    // length is a multiple of 57 bytes ends with CR LF, any other with its last character. A body
    // too large for the product's encoder raises 0xA6000001.
    explicit CB64Str(std::vector<uint8_t> bytes);
    // Every character outside the alphabet (line breaks, "=", anything not ASCII) is skipped; a
    // last group of two or three characters gives one or two bytes. Takes time in proportion to
    // the text and never more memory than three quarters of it.
    explicit CB64Str(const std::wstring& text);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    const std::wstring& Text() const { return text_; }

private:
    std::vector<uint8_t> bytes_;
    std::wstring text_;
};

inline constexpr uint32_t B64EncodeFailure = 0xA6000001;

}  // namespace KvMigration
