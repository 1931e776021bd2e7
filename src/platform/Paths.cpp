#include "platform/Paths.h"

#include "platform/CodePage.h"

#include <cstdlib>
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
