#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace KvMigration {

// Product error codes of the group-policy blob decoding.
inline constexpr uint32_t KvGpeNoNibbleData = 0xE6090018;
inline constexpr uint32_t KvGpeChecksumMismatch = 0xE6090019;
inline constexpr uint32_t KvGpeBlobTooShort = 0xE609001A;
inline constexpr uint32_t KvGpeBadSignature = 0xE609001B;
inline constexpr uint32_t KvGpeInflateFailed = 0xE609001C;
inline constexpr uint32_t KvGpeLengthMismatch = 0xE609001D;

// The largest uncompressed length a blob may claim: 16 MiB. A template blob is an XML document
// that ends up in one directory attribute, and a directory takes no request much beyond 10 MB;
// the stored length is read from the file and must not decide how much memory we take.
inline constexpr uint32_t KvGpeMaxInflatedLength = 16u * 1024u * 1024u;

// Decodes a nibble string (two hexadecimal digits per byte, high nibble first, the last byte the
// checksum of the others) and inflates the blob it holds. Returns the inflated bytes, text in the
// ANSI code page, cut at the first zero byte.
std::string NibbleStringToString(const std::wstring& nibbles);

// Inflates a blob of "ZLIB", the uncompressed length (32-bit little-endian) and a zlib stream.
// Returns exactly the stored number of bytes.
std::string UnCompressBlob(std::span<const uint8_t> blob);

}  // namespace KvMigration
