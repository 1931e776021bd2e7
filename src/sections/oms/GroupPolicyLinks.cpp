#include "sections/oms/GroupPolicyLinks.h"

#include "platform/Paths.h"

#include <optional>

#include <cwchar>

namespace KvMigration {

std::vector<std::wstring> EnabledGroupPolicyLinks(const std::wstring& gpLink) {
    const std::wstring opening = L"[LDAP://";
    std::vector<std::wstring> links;
    size_t position = 0;
    while ((position = gpLink.find(opening, position)) != std::wstring::npos) {
        const size_t start = position + opening.size();
        const size_t semicolon = gpLink.find(L';', start);
        if (semicolon == std::wstring::npos) {
            break;
        }
        size_t close = gpLink.find(L']', semicolon);
        std::wstring options = gpLink.substr(
            semicolon + 1, (close == std::wstring::npos ? gpLink.size() : close) - semicolon - 1);
        const long flags = std::wcstol(options.c_str(), nullptr, 10);
        if ((flags & 1) == 0) {
            links.push_back(gpLink.substr(start, semicolon - start));
        }
        position = semicolon;
    }
    return links;
}

std::wstring GroupPolicyTemplatePath(const std::wstring& fileSysPath, const std::wstring& uncRoot) {
    std::wstring path = fileSysPath + L"\\MACHINE\\Microsoft\\Windows NT\\SecEdit\\GptKorvant.inf";
    std::optional<std::wstring> mapped = Platform::MapWindowsPath(path, uncRoot);
    if (!mapped) {
        return {};
    }
    // A share path mapped onto this machine keeps no backslash; a local one uses "/" already.
    for (wchar_t& c : *mapped) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return *mapped;
}

}  // namespace KvMigration
