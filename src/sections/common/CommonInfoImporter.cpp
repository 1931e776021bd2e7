#include "sections/common/CommonInfoImporter.h"

#include "base/KvError.h"

#include <cwctype>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

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

namespace {

// A value from the file as a message shows it: an edited file may hold anything there.
std::wstring Shown(const std::wstring& value) {
    constexpr size_t kMost = 40;
    return L"\"" + (value.size() > kMost ? value.substr(0, kMost) + L"..." : value) + L"\"";
}

}  // namespace

SchemaVersion CCommonInfoImporter::DataSchemaVersion() const {
    if (version_ == SchemaVersion{}) {
        // Code 1 alone would reach the administrator as "Incorrect function.", which says neither
        // what is wrong with the file nor what became of the import.
        KvBase::CKvError error(1, KvBase::SourceName(__FILE__), __LINE__,
                               L"CCommonInfoImporter::DataSchemaVersion");
        error.SetEntry(
            L"Description",
            L"The migration file gives no schema version for its data (" +
                (broken_.empty() ? std::wstring(L"its Common section has no SchemaVersion element")
                                 : broken_) +
                L"), so nothing from the Oms section on was imported. Mend the SchemaVersion "
                L"element of the Common section (major=\"7\" minor=\"16\" for an export of "
                L"schema 7.16) and import again.");
        throw error;
    }
    return version_;
}

void CCommonInfoImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    if (name != L"SchemaVersion") {
        return;
    }
    const std::wstring element = line_ && line_() > 0
                                     ? L"SchemaVersion element at line " + std::to_wstring(line_())
                                     : std::wstring(L"SchemaVersion element");
    auto major = attributes.find(L"major");
    auto minor = attributes.find(L"minor");
    if (major == attributes.end() || minor == attributes.end()) {
        broken_ = L"its " + element + L" lacks the attribute " +
                  (major == attributes.end() ? L"major" : L"minor");
        KV_RAISE_ERROR(L"CCommonInfoImporter::StartNode", L"The import file schema is broken.");
    }
    SchemaVersion read;
    for (auto [number, attribute] :
         {std::pair{&read.major, major}, std::pair{&read.minor, minor}}) {
        try {
            *number = static_cast<int32_t>(ToUnsigned(attribute->second));
        } catch (const std::exception&) {
            broken_ = L"the " + attribute->first + L" of its " + element + L", " +
                      Shown(attribute->second) + L", is not a number";
            throw;
        }
    }
    if (read == SchemaVersion{}) {
        broken_ = L"its " + element + L" gives the version 0.0";
    }
    version_ = read;
}

}  // namespace KvMigration
