#include "platform/CodePage.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(CodePage, WritesCyrillicInCodePage1251) {
    EXPECT_EQ(Platform::WideToCodePage(L"Ок", Platform::CodePage1251), "\xCE\xEA");
    EXPECT_EQ(Platform::CodePageToWide("\xCE\xEA", Platform::CodePage1251), L"Ок");
}

TEST(CodePage, ReplacesWhatTheCodePageLacks) {
    EXPECT_EQ(Platform::WideToCodePage(L"a\u4E2Db", Platform::CodePage1251), "a?b");
    EXPECT_EQ(Platform::Utf8ToWide("a\xFF"
                                   "b"),
              L"a?b");
    EXPECT_EQ(Platform::WideToUtf8(L""), "");
    EXPECT_EQ(Platform::Utf8ToWide(""), L"");
}

TEST(CodePage, Utf16LittleEndianRoundTrip) {
    std::wstring text = L"Корвант \U0001F600";
    EXPECT_EQ(Platform::Utf16LeToWide(Platform::WideToUtf16Le(text)), text);
    EXPECT_EQ(Platform::Utf16LeToWide(std::string("a\0b", 3)), L"a");
}

TEST(Paths, QualifiesRelativeNamesAndRejectsUnusableOnes) {
    auto qualified = Platform::QualifyPath(L"sub/../file.xml");
    ASSERT_TRUE(qualified.has_value());
    EXPECT_EQ(qualified->front(), L'/');
    EXPECT_EQ(qualified->substr(qualified->size() - 9), L"/file.xml");
    EXPECT_EQ(qualified->find(L".."), std::wstring::npos);
    EXPECT_FALSE(Platform::QualifyPath(L"").has_value());
    EXPECT_FALSE(Platform::QualifyPath(L"/" + std::wstring(300, L'a')).has_value());
}

TEST(Paths, FolderPartEndsBeforeTheLastSlash) {
    EXPECT_EQ(Platform::FolderPart(L"/var/tmp/x.xml"), L"/var/tmp");
    EXPECT_EQ(Platform::FolderPart(L"/x.xml"), L"/");
}

}  // namespace

namespace {

TEST(Paths, WindowsPathsArePlacedOnThisMachine) {
    struct Case {
        std::wstring path;
        std::optional<std::wstring> mapped;
    };
    const std::vector<Case> cases = {
        {L"\\\\corp.local\\sysvol\\corp.local\\Policies\\{G}",
         L"/mnt/unc/corp.local/sysvol/corp.local/Policies/{G}"},
        {L"C:\\Logs\\", L"/var/log/korvant/"},
        {L"c:\\LOGS", L"/var/log/korvant/"},
        {L"C:\\Logs\\kv\\", L"/var/log/korvant/kv/"},
        {L"C:\\Logsmore\\", std::nullopt},
        {L"D:\\Korvant\\", std::nullopt},
        {L"/var/log/kv/", L"/var/log/kv/"},
        {L"relative/name", L"relative/name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.path));
        EXPECT_EQ(Platform::MapWindowsPath(c.path, L"/mnt/unc/"), c.mapped);
    }
}

TEST(CodePage, ArgumentsThatAreNotUtf8KeepAMarkNoPathAccepts) {
    EXPECT_TRUE(Platform::IsValidUtf8("caf\xc3\xa9"));
    EXPECT_FALSE(Platform::IsValidUtf8("caf\xe9"));
    EXPECT_FALSE(Platform::IsValidUtf8("\xc0\xaf"));          // overlong "/"
    EXPECT_FALSE(Platform::IsValidUtf8("\xed\xa0\x80"));      // a surrogate
    EXPECT_FALSE(Platform::IsValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_EQ(Platform::ArgumentToWide("caf\xc3\xa9"), L"café");
    std::wstring latin1 = Platform::ArgumentToWide("caf\xe9.xml");
    EXPECT_EQ(latin1, std::wstring(L"caf") + Platform::ReplacementCharacter + L".xml");
    EXPECT_FALSE(Platform::QualifyPath(latin1).has_value());
}

}  // namespace
