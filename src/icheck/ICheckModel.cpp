#include "icheck/ICheckModel.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cwchar>

namespace KvMigration {
namespace {

constexpr wchar_t kConfiguration[] = L"CN=Korvant 5.0 Configuration";

}  // namespace

const ICheckPlatform& PlatformUndefined() {
    static const ICheckPlatform platform{1, L"", L"", L"", L"", L"Undefined"};
    return platform;
}

const ICheckPlatform& PlatformX86() {
    static const ICheckPlatform platform{2,
                                         L"orvexKVICheckObj",
                                         L"CN=Integrity Check Objects",
                                         L"KorvantICheckDefault",
                                         L"KvICInstallLDS.xml",
                                         L"x86"};
    return platform;
}

const ICheckPlatform& PlatformX64() {
    static const ICheckPlatform platform{3,
                                         L"orvexKVICheckObj64",
                                         L"CN=Integrity Check Objects x64",
                                         L"KorvantICheckDefault64",
                                         L"KvICInstallLDS64.xml",
                                         L"x64"};
    return platform;
}

std::wstring PlatformContainer(const ICheckPlatform& platform, const std::wstring& baseDn) {
    return platform.containerRdn + L"," + kConfiguration + L"," + baseDn;
}

std::wstring ICheckObjectName(int32_t type, int64_t id) {
    wchar_t name[64];
    std::swprintf(name, sizeof(name) / sizeof(name[0]), L"Type 0x%08X ID 0x%" PRIx64,
                  static_cast<uint32_t>(type), static_cast<uint64_t>(id));
    return name;
}

std::wstring ICheckObjectDn(int32_t type, int64_t id, const ICheckPlatform& platform,
                            const std::wstring& baseDn) {
    return L"CN=" + ICheckObjectName(type, id) + L"," + PlatformContainer(platform, baseDn);
}

bool IsExported(uint32_t type, uint64_t id) {
    if (type >= 1 && type <= 6) {
        return true;
    }
    return type == 9 && id != static_cast<uint64_t>(ICheckTimeStampId);
}

int32_t ParseICheckType(const std::wstring& text) {
    // The type is read as a Windows long, which is 32 bits wide.
    long long value = std::wcstoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

int64_t ParseICheckId(const std::wstring& text) {
    return std::wcstoll(text.c_str(), nullptr, 10);
}

}  // namespace KvMigration
