#include "platform/CodePage.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

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
