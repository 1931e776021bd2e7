#include "app/KnownKeys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "support/ScopedTempDir.h"

namespace {

using KvMigration::IsKnownKey;
using KvMigration::NearestKnownKey;

TEST(KnownKeys, TyposOfLongerKeysAndOtherCasesAreRecognisedAndShortNoiseIsNot) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* suggested;  // empty: no suggestion
    };
    const Case cases[] = {
        {L"-polices", L"-policies"},
        {L"-plicies", L"-policies"},
        {L"-polciies", L"-policies"},
        {L"-Server", L"-server"},
        {L"-LDS", L"-lds"},
        {L"-w", L"-W"},
        {L"-Y", L"-y"},
        {L"-clinets", L"-clients"},
        {L"-user", L"-users"},
        {L"--verison", L"--version"},
        {L"-help", L"--help"},
        {L"-x", L""},
        {L"-sl", L""},
        {L"-frobnicate", L""},
        {L"-poli", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "typed " << c.typed);
        EXPECT_FALSE(IsKnownKey(c.typed));
        EXPECT_EQ(NearestKnownKey(c.typed), c.suggested);
    }
}

// A key that the program reads but the table lacks would be warned about as unknown on every run
// that uses it, and missed by the manual page's check.
TEST(KnownKeys, EveryKeyThatTheProgramReadsIsKnown) {
    const std::regex read(
        R"re((?:Has\(|ValueCount\(|ReadFirstArgument\(commandLine, |\{)L"(-[^"]*)")re");
    size_t found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KV_APP_SOURCE_DIR)) {
        if (entry.path().extension() != ".cpp") {
            continue;
        }
        const std::string source = KvTest::ReadFile(entry.path().string());
        for (std::sregex_iterator it(source.begin(), source.end(), read), end; it != end; ++it) {
            const std::string key = (*it)[1];
            SCOPED_TRACE(entry.path().filename().string() + ": " + key);
            EXPECT_TRUE(IsKnownKey(std::wstring(key.begin(), key.end())));
            ++found;
        }
    }
    // The pass keys, the storage keys and the section keys at least.
    EXPECT_GE(found, 20u);
}

}  // namespace
