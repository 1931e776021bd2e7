#include "icheck/BodyReader.h"

#include "base/KvError.h"
#include "helper/Format.h"
#include "platform/CodePage.h"

namespace KvMigration {
namespace {

constexpr wchar_t kFunction[] = L"BodyReader::Require";

}  // namespace

void BodyReader::Require(uint64_t offset, uint64_t bytes, const wchar_t* field) const {
    // Both terms come from 32-bit fields or sums of a few of them: no 64-bit overflow.
    if (offset > body_.size() || bytes > body_.size() - offset) {
        KV_RAISE_ERROR(kFunction,
                       FormatString(L"The body of %zu bytes is damaged: %ls (%llu bytes at offset "
                                    L"%llu) lies outside it.",
                                    body_.size(), field, static_cast<unsigned long long>(bytes),
                                    static_cast<unsigned long long>(offset)));
    }
}

uint32_t BodyReader::U32(uint64_t offset, const wchar_t* field) const {
    Require(offset, 4, field);
    const uint8_t* p = body_.data() + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::wstring BodyReader::Text(uint64_t offset, uint64_t bytes, const wchar_t* field) const {
    Require(offset, bytes, field);
    const uint8_t* p = body_.data() + offset;
    size_t units = static_cast<size_t>(bytes / 2);
    for (size_t i = 0; i < units; ++i) {
        if (p[2 * i] == 0 && p[2 * i + 1] == 0) {
            units = i;
            break;
        }
    }
    return Platform::Utf16LeToWide(std::string_view(reinterpret_cast<const char*>(p), units * 2));
}

Body BodyReader::Slice(uint64_t offset, uint64_t bytes, const wchar_t* field) const {
    Require(offset, bytes, field);
    auto begin = body_.begin() + static_cast<std::ptrdiff_t>(offset);
    return Body(begin, begin + static_cast<std::ptrdiff_t>(bytes));
}

void PutU32(Body& body, size_t offset, uint32_t value) {
    body.at(offset + 3);  // a rewrite only writes into the header it has copied
    for (int i = 0; i < 4; ++i) {
        body[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

Body TerminatedText(const std::wstring& text) {
    std::string utf16 = Platform::WideToUtf16Le(text);
    Body bytes(utf16.begin(), utf16.end());
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

uint32_t TerminatedTextLength(const Body& terminated) {
    if (terminated.size() > UINT32_MAX) {
        KV_RAISE_ERROR(kFunction, L"A name or text of the body is longer than 4 GiB.");
    }
    return static_cast<uint32_t>(terminated.size());
}

}  // namespace KvMigration
