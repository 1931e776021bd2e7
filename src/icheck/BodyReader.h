#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KvMigration {

using Body = std::vector<uint8_t>;

// Reads the fields of a body whose lengths and offsets come from the body itself, that is from
// the migration file or the directory: every read is checked against the body's size first, and
// a field that would reach past it raises the error object with a message that names the field,
// so that the object can be reported and skipped. Offsets are summed in 64 bits, so lengths near
// 4 GiB cannot wrap around.
class BodyReader {
public:
    explicit BodyReader(const Body& body) : body_(body) {}
    // The reader keeps a reference: the body must outlive it.
    explicit BodyReader(Body&&) = delete;

    size_t Size() const { return body_.size(); }
    // The little-endian 32-bit number at the offset (any alignment).
    uint32_t U32(uint64_t offset, const wchar_t* field) const;
    // Raises unless `bytes` bytes from `offset` lie inside the body.
    void Require(uint64_t offset, uint64_t bytes, const wchar_t* field) const;
    // `bytes` bytes of UTF-16LE text at the offset, up to the first NUL (the terminator the
    // layouts count in their lengths); an odd last byte is not part of any character.
    std::wstring Text(uint64_t offset, uint64_t bytes, const wchar_t* field) const;
    // The bytes [offset, offset + bytes).
    Body Slice(uint64_t offset, uint64_t bytes, const wchar_t* field) const;

private:
    const Body& body_;
};

// Little-endian writes into a body built by a rewrite.
void PutU32(Body& body, size_t offset, uint32_t value);
// The text in UTF-16LE with its terminating NUL, as the layouts store names and texts.
Body TerminatedText(const std::wstring& text);
// The length field of such a text: its UTF-16 bytes with the terminator. Raises for a text whose
// length does not fit in 32 bits.
uint32_t TerminatedTextLength(const Body& terminated);

}  // namespace KvMigration
