#include "server/KvGpeXml.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "base/KvError.h"
#include "base/Trace.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr size_t kHeaderSize = 8;

// Deflate cannot expand one compressed byte into more than 1032 bytes (a 258-byte match coded in
// two bits). A stored length beyond that bound is a lie; inflating into a buffer of the bound
// gives the same outcome as inflating into one of the stored length, without taking its memory.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kRatioSlack = 4096;

uint8_t NibbleValue(wchar_t digit) {
    if (digit >= L'0' && digit <= L'9') {
        return static_cast<uint8_t>(digit - L'0');
    }
    return static_cast<uint8_t>((static_cast<uint32_t>(digit) - 0x37u) & 0xFu);
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

std::string NibbleStringToString(const std::wstring& nibbles) {
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"NibbleStringToString: %ls", nibbles.c_str());
    if (nibbles.empty()) {
        KV_RAISE_ERROR_CODE(L"NibbleStringToString", kErrorInvalidParameter);
    }
    const size_t count = nibbles.size() / 2;
    if (count == 0) {
        KV_RAISE_ERROR_CODE(L"NibbleStringToString", KvGpeNoNibbleData);
    }
    std::vector<uint8_t> data(count - 1);
    uint8_t sum = 0;
    for (size_t i = 0; i < count - 1; ++i) {
        data[i] = static_cast<uint8_t>((NibbleValue(nibbles[2 * i]) << 4) |
                                       NibbleValue(nibbles[2 * i + 1]));
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    const size_t last = 2 * (count - 1);
    const uint8_t checksum =
        static_cast<uint8_t>((NibbleValue(nibbles[last]) << 4) | NibbleValue(nibbles[last + 1]));
    if (sum != checksum) {
        KV_RAISE_ERROR_CODE(L"NibbleStringToString", KvGpeChecksumMismatch);
    }
    std::string inflated = UnCompressBlob(data);
    // The blob holds text; whatever follows a zero byte is not part of it.
    if (size_t zero = inflated.find('\0'); zero != std::string::npos) {
        inflated.resize(zero);
    }
    return inflated;
}

std::string UnCompressBlob(std::span<const uint8_t> blob) {
    if (blob.size() < kHeaderSize) {
        KV_RAISE_ERROR_CODE(L"UnCompressBlob", KvGpeBlobTooShort);
    }
    static constexpr uint8_t kSignature[4] = {'Z', 'L', 'I', 'B'};
    if (!std::equal(kSignature, kSignature + 4, blob.begin())) {
        KV_RAISE_ERROR_CODE(L"UnCompressBlob", KvGpeBadSignature);
    }
    const uint32_t stored = ReadLittleEndian32(blob.data() + 4);
    if (stored > KvGpeMaxInflatedLength) {
        KvBase::GetTrace().Trace(KvBase::TraceError,
                                 L"UnCompressBlob: the stored length %u exceeds the limit of %u",
                                 stored, KvGpeMaxInflatedLength);
        KV_RAISE_ERROR_CODE(L"UnCompressBlob", KvGpeInflateFailed);
    }
    const std::span<const uint8_t> stream = blob.subspan(kHeaderSize);
    const uint64_t possible = static_cast<uint64_t>(stream.size()) * kMaxDeflateRatio + kRatioSlack;
    const uLongf capacity = static_cast<uLongf>(std::min<uint64_t>(stored, possible));

    std::string inflated(capacity, '\0');
    uLongf length = capacity;
    // zlib takes a non-null destination even for an empty output.
    Bytef one = 0;
    Bytef* destination = capacity != 0 ? reinterpret_cast<Bytef*>(inflated.data()) : &one;
    const int status = uncompress(destination, &length, stream.data(), stream.size());
    if (status != Z_OK) {
        KV_RAISE_ERROR_CODE(L"UnCompressBlob", KvGpeInflateFailed);
    }
    if (length != stored) {
        KV_RAISE_ERROR_CODE(L"UnCompressBlob", KvGpeLengthMismatch);
    }
    return inflated;
}

}  // namespace KvMigration
