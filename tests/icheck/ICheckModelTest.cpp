// The platform table, the object names the import gives, the export rule and the numbers read from
// the migration file.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "icheck/CaseFold.h"
#include "icheck/ICheckModel.h"

namespace KvMigration {
namespace {

const std::wstring kSd = L"CN={fa0626fe-af1f-49ff-852f-ff19b1aff9d3},DC=korvant";

TEST(ICheckModel, ObjectNamesLieInThePlatformsContainer) {
    struct Case {
        int32_t type;
        int64_t id;
        const ICheckPlatform* platform;
        std::wstring dn;
    };
    const std::vector<Case> cases = {
        {6, 17, &PlatformX86(),
         L"CN=Type 0x00000006 ID 0x11,CN=Integrity Check Objects,CN=Korvant 5.0 Configuration," +
             kSd},
        {9, 2, &PlatformX64(),
         L"CN=Type 0x00000009 ID 0x2,CN=Integrity Check Objects x64,CN=Korvant 5.0 "
         L"Configuration," +
             kSd},
        {-1, -1, &PlatformX86(),
         L"CN=Type 0xFFFFFFFF ID 0xffffffffffffffff,CN=Integrity Check Objects,CN=Korvant 5.0 "
         L"Configuration," +
             kSd},
        {255, 0x7FFFFFFFFFFFFFFF, &PlatformX86(),
         L"CN=Type 0x000000FF ID 0x7fffffffffffffff,CN=Integrity Check Objects,CN=Korvant 5.0 "
         L"Configuration," +
             kSd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(ICheckObjectDn(c.type, c.id, *c.platform, kSd), c.dn);
    }
}

TEST(ICheckModel, ExportRuleByType) {
    struct Case {
        uint32_t type;
        uint64_t id;
        bool exported;
    };
    const std::vector<Case> cases = {
        {0, 5, false}, {1, 5, true}, {2, 5, true},   {3, 5, true},           {4, 5, true},
        {5, 5, true},  {6, 5, true}, {7, 5, false},  {8, 5, false},          {9, 2, false},
        {9, 3, true},  {9, 0, true}, {10, 5, false}, {UINT32_MAX, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.id));
        EXPECT_EQ(IsExported(c.type, c.id), c.exported);
    }
}

TEST(ICheckModel, NumbersOfTheFileAreReadWithTheirSignAndSaturate) {
    struct Case {
        std::wstring text;
        int32_t type;
        int64_t id;
    };
    const std::vector<Case> cases = {
        {L"6", 6, 6},
        {L"  12", 12, 12},
        {L"6abc", 6, 6},
        {L"abc", 0, 0},
        {L"", 0, 0},
        {L"-1", -1, -1},
        {L"4294967296", INT32_MAX, 4294967296},
        {L"-99999999999", INT32_MIN, -99999999999},
        {L"99999999999999999999", INT32_MAX, INT64_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(ParseICheckType(c.text), c.type);
        EXPECT_EQ(ParseICheckId(c.text), c.id);
    }
}

TEST(ICheckModel, NamesCompareIgnoringCaseInEveryScript) {
    EXPECT_TRUE(EqualsIgnoreCase(L"KORVANTICHECKDEFAULT", L"KorvantICheckDefault"));
    EXPECT_TRUE(EqualsIgnoreCase(L"контроль РЕСУРСОВ Korvant", L"Контроль ресурсов KORVANT"));
    EXPECT_FALSE(EqualsIgnoreCase(L"KorvantICheckDefault", L"KorvantICheckDefault64"));
    EXPECT_FALSE(EqualsIgnoreCase(L"Контроль", L"Kонтроль"));  // a Latin K
}

}  // namespace
}  // namespace KvMigration
