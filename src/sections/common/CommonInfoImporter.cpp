#include "sections/common/CommonInfoImporter.h"

#include "base/KvError.h"

#include <cwctype>
#include <stdexcept>

namespace KvMigration {

uint32_t ToUnsigned(const std::wstring& text) {
    size_t pos = 0;
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) {
        ++pos;
    }
    if (pos < text.size() && text[pos] == L'+') {
        ++pos;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos, ++digits) {
        value = value * 10 + static_cast<uint64_t>(text[pos] - L'0');
        if (value > UINT32_MAX) {
            throw std::out_of_range("stoul argument out of range");
        }
    }
    if (digits == 0) {
        throw std::invalid_argument("invalid stoul argument");
    }
    return static_cast<uint32_t>(value);
}

SchemaVersion CCommonInfoImporter::DataSchemaVersion() const {
    if (version_ == SchemaVersion{}) {
        KV_RAISE_ERROR_CODE(L"CCommonInfoImporter::DataSchemaVersion", 1);
    }
    return version_;
}

void CCommonInfoImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    if (name != L"SchemaVersion") {
        return;
    }
    auto major = attributes.find(L"major");
    auto minor = attributes.find(L"minor");
    if (major == attributes.end() || minor == attributes.end()) {
        KV_RAISE_ERROR(L"CCommonInfoImporter::StartNode", L"The import file schema is broken.");
    }
    SchemaVersion read;
    read.major = static_cast<int32_t>(ToUnsigned(major->second));
    read.minor = static_cast<int32_t>(ToUnsigned(minor->second));
    version_ = read;
}

}  // namespace KvMigration
