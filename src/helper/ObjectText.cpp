#include "helper/ObjectText.h"

#include "base/KvError.h"
#include "helper/Format.h"

namespace KvMigration {

std::wstring GetObjectClassName(ObjectKind kind) {
    switch (kind) {
        case KindPolicy:
            return L"policy";
        case KindServer:
            return L"server";
        case KindService:
            return L"service";
        case KindContainer:
            return L"container";
        case KindICheck:
            return L"iche\u0441k";
        case KindUser:
            return L"user";
        default:
            KV_RAISE_ERROR_CODE(L"GetObjectClassName", 13);
    }
}

const wchar_t* ObjectElementName(ObjectKind kind) {
    switch (kind) {
        case KindPolicy:
            return L"Policy";
        case KindServer:
            return L"Server";
        case KindService:
            return L"Service";
        case KindContainer:
            return L"Container";
        default:
            KV_RAISE_ERROR_CODE(L"ObjectElementName", 13);
    }
}

std::wstring ObjectDescription(ObjectKind kind, const std::wstring& id, const std::wstring& name,
                               const std::wstring& canonicalName) {
    std::wstring text =
        FormatString(L"Object \"%ls\" with id=%ls", GetObjectClassName(kind).c_str(), id.c_str());
    if (!name.empty()) {
        text += L" name=" + name;
    }
    if (!canonicalName.empty()) {
        text += L" canonicalName=" + canonicalName;
    }
    return text;
}

std::wstring DirectoryText(std::wstring_view value) {
    std::wstring text;
    text.reserve(value.size());
    for (wchar_t c : value) {
        if (c != L'\0') {
            text.push_back(c);
        }
    }
    return text;
}

}  // namespace KvMigration
