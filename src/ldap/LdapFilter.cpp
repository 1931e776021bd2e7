#include <cwchar>

#include "ldap/LdapHelper.h"

namespace LdapHelper {
namespace {

std::wstring BuildFilter(const conditions& terms) {
    if (terms.empty()) {
        return L"(objectClass=*)";
    }
    std::wstring pieces;
    for (const auto& [name, text] : terms) {
        pieces += L"(" + name + L"=" + text + L")";
    }
    return terms.size() == 1 ? pieces : L"(&" + pieces + L")";
}

// The characters a filter value must not carry as themselves.
const wchar_t* EscapeOf(wchar_t c) {
    switch (c) {
        case L'!':
            return L"\\21";
        case L'&':
            return L"\\26";
        case L'(':
            return L"\\28";
        case L')':
            return L"\\29";
        case L'*':
            return L"\\2A";
        case L'/':
            return L"\\2F";
        case L'<':
            return L"\\3C";
        case L'=':
            return L"\\3D";
        case L'>':
            return L"\\3E";
        case L'\\':
            return L"\\5C";
        case L'|':
            return L"\\7C";
        case L'~':
            return L"\\7E";
        default:
            return nullptr;
    }
}

std::wstring escape_filter_text(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (const wchar_t* escaped = EscapeOf(c)) {
            out += escaped;
        } else if (c == L'\0') {
            // A NUL would end the filter on the wire; RFC 4515 writes it as \00.
            out += L"\\00";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

query::query(const wchar_t* base_, int32_t scope_, const wchar_t* filter_)
    : base(base_ ? base_ : L""), scope(scope_), filter(filter_ ? filter_ : L"") {}

query::query(const std::wstring& base_, int32_t scope_, const std::wstring& filter_)
    : base(base_), scope(scope_), filter(filter_) {}

query::query(const wchar_t* base_, int32_t scope_, const conditions& terms)
    : base(base_ ? base_ : L""), scope(scope_), filter(BuildFilter(terms)) {}

query::query(const std::wstring& base_, int32_t scope_, const conditions& terms)
    : base(base_), scope(scope_), filter(BuildFilter(terms)) {}

std::wstring filter_value(const wchar_t* text, bool escape) {
    if (text == nullptr) {
        return {};
    }
    return filter_value(std::wstring(text), escape);
}

std::wstring filter_value(const std::wstring& text, bool escape) {
    return escape ? escape_filter_text(text) : text;
}

// The program's own ldap_escape_filter_element: every byte as "\xx", the form Active Directory
// matches binary attributes such as objectGUID with.
std::wstring escape_filter_bytes(const uint8_t* bytes) {
    if (bytes == nullptr) {
        return {};
    }
    std::wstring out;
    wchar_t piece[4];
    for (int i = 0; i < 16; ++i) {
        std::swprintf(piece, 4, L"\\%02x", bytes[i]);
        out += piece;
    }
    return out;
}

std::wstring escape_filter_bytes(const Platform::Guid& guid) {
    auto bytes = guid.ToBytes();
    return escape_filter_bytes(bytes.data());
}

}  // namespace LdapHelper
