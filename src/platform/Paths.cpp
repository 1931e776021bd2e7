#include "platform/Paths.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>

namespace Platform {

namespace {
constexpr size_t MaxPath = 260;
}

std::optional<std::wstring> QualifyPath(const std::wstring& path) {
    if (path.empty() || path.find(L'\0') != std::wstring::npos ||
        path.find(ReplacementCharacter) != std::wstring::npos) {
        return std::nullopt;
    }
    std::error_code ec;
    std::filesystem::path native(WideToUtf8(path));
    auto absolute = std::filesystem::absolute(native, ec);
    if (ec) {
        return std::nullopt;
    }
    // A current folder whose name is not UTF-8 would come back as another name.
    std::string bytes = absolute.lexically_normal().string();
    if (!IsValidUtf8(bytes)) {
        return std::nullopt;
    }
    std::wstring result = Utf8ToWide(bytes);
    if (result.size() >= MaxPath) {
        return std::nullopt;
    }
    return result;
}

std::wstring FolderPart(const std::wstring& path) {
    auto slash = path.rfind(L'/');
    if (slash == std::wstring::npos) {
        return {};
    }
    // The root folder has no name left of its slash.
    return slash == 0 ? std::wstring(L"/") : path.substr(0, slash);
}

std::optional<std::wstring> MapWindowsPath(const std::wstring& path, const std::wstring& uncRoot) {
    auto slashes = [](std::wstring text) {
        std::replace(text.begin(), text.end(), L'\\', L'/');
        return text;
    };
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        std::wstring root = uncRoot;
        while (!root.empty() && root.back() == L'/') {
            root.pop_back();
        }
        return root + L"/" + slashes(path.substr(2));
    }
    const bool drive =
        path.size() >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (!drive) {
        return path;
    }
    std::wstring lower = slashes(path);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    const std::wstring logs = L"c:/logs";
    if (lower.compare(0, logs.size(), logs) == 0 &&
        (lower.size() == logs.size() || lower[logs.size()] == L'/')) {
        std::wstring rest = slashes(path.substr(logs.size()));
        while (!rest.empty() && rest.front() == L'/') {
            rest.erase(0, 1);
        }
        return std::wstring(DefaultLogFolder) + rest;
    }
    return std::nullopt;
}

std::string TempFolder() {
    for (const char* name : {"TMPDIR", "TMP"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "/tmp";
}

}  // namespace Platform
