#pragma once

#include <cstdint>
#include <string>

namespace KvMigration {

// One processor platform of the integrity-check model: where its objects live and what the
// product's installation calls them.
struct ICheckPlatform {
    int32_t id = 1;
    std::wstring objectClass;
    std::wstring containerRdn;
    std::wstring defaultGroupName;
    std::wstring installModelFile;
    std::wstring name;
};

// The fixed table: "Undefined" (outside a platform section), x86 and x64.
const ICheckPlatform& PlatformUndefined();
const ICheckPlatform& PlatformX86();
const ICheckPlatform& PlatformX64();

inline constexpr wchar_t ICheckIdAttribute[] = L"orvexKVICheckObjID";
inline constexpr wchar_t ICheckTypeAttribute[] = L"orvexKVICheckObjType";
inline constexpr wchar_t ICheckDataAttribute[] = L"orvexKVICheckObjData";
inline constexpr wchar_t ICheckObjectElement[] = L"IcheckObject";

// Object types the import rewrites, and the model time stamp the import writes itself.
inline constexpr int32_t ICheckTypeJob = 1;
inline constexpr int32_t ICheckTypeScenario = 3;
inline constexpr int32_t ICheckTypeGroup = 6;
inline constexpr int32_t ICheckTypeTimeStamp = 9;
inline constexpr int64_t ICheckTimeStampId = 2;

// The platform's container below `baseDn`: the default naming context of the storage read on
// export, the security domain of the target on import.
std::wstring PlatformContainer(const ICheckPlatform& platform, const std::wstring& baseDn);

// "Type 0x<type, 8 upper-case digits> ID 0x<identifier, lower case>": the cn of a model object.
std::wstring ICheckObjectName(int32_t type, int64_t id);

// "CN=<ICheckObjectName>,<container>". Type and identifier come from numbers, so nothing of the
// migration file reaches the DN as text.
std::wstring ICheckObjectDn(int32_t type, int64_t id, const ICheckPlatform& platform,
                            const std::wstring& baseDn);

// Whether the export carries an object: types 1 to 6 and 9, except the time stamp (9, 2) that
// every import writes anew.
bool IsExported(uint32_t type, uint64_t id);

// The numbers of the migration file's texts as the import reads them: a 32-bit type and a 64-bit
// identifier, each with its sign, leading blanks skipped, saturating at its range; 0 for a text
// that does not start with a number.
int32_t ParseICheckType(const std::wstring& text);
int64_t ParseICheckId(const std::wstring& text);

}  // namespace KvMigration
