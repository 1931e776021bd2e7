// The new product's locale from the registry, the names it gives its default job and scenario,
// and the scenario text of its installation model file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "icheck/KvsSequence.h"
#include "icheck/ProductLocale.h"
#include "platform/CodePage.h"
#include "support/ICheckFiles.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

template <typename Read>
uint32_t RaisedCode(Read&& read) {
    try {
        read();
    } catch (const KvBase::CKvError& e) {
        return e.Code();
    }
    return 0;
}

TEST(ProductLocale, LocaleDecidesTheLocalizedNames) {
    struct Case {
        std::string value;
        std::wstring locale;
        std::wstring scenario;
        std::wstring job;
    };
    const std::vector<Case> cases = {
        {"\"ru-ru\"", L"ru-ru", L"Контроль ресурсов Korvant Suite",
         L"Задание для контроля ресурсов Korvant Suite"},
        {"\"RU-RU\"", L"RU-RU", L"Контроль ресурсов Korvant Suite",
         L"Задание для контроля ресурсов Korvant Suite"},
        {"\"en-us\"", L"en-us", L"Korvant Suite resources control",
         L"Korvant Suite resources control job"},
        {"\"de-de\"", L"de-de", L"Korvant Suite resources control",
         L"Korvant Suite resources control job"},
    };
    KvTest::ProductInstallation installation("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        installation.SetLocale(c.value);
        EXPECT_EQ(CProductLocale(), c.locale);
        EXPECT_EQ(LocalizedScenarioName(), c.scenario);
        EXPECT_EQ(LocalizedJobName(), c.job);
    }
}

TEST(ProductLocale, AValueOfOtherThanFiveCharactersOrNoneIsRefused) {
    struct Case {
        std::string value;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"", 2}, {"\"ru\"", 13}, {"\"ru-rus\"", 13}, {"\"\"", 13}, {"dword:00000419", 13},
    };
    KvTest::ProductInstallation installation("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        installation.SetLocale(c.value);
        EXPECT_EQ(RaisedCode([] { CProductLocale(); }), c.code);
        EXPECT_EQ(RaisedCode([] { LocalizedJobName(); }), c.code);
    }
}

const char* const kModel =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<InstallModel>\n"
    "  <Objects/>\n"
    "  <tasks>\n"
    "    <Task name=\"Other\"><Sequence>other steps</Sequence></Task>\n"
    "    <Task name=\"KORVANT SUITE RESOURCES CONTROL\"><Description>no sequence</Description>"
    "</Task>\n"
    "    <Task name=\"Korvant Suite resources control\">\n"
    "      <Description>d</Description>\n"
    "      <SEQUENCE>step <Step>one</Step>; step &amp; two</SEQUENCE>\n"
    "      <Sequence>second sequence</Sequence>\n"
    "    </Task>\n"
    "  </tasks>\n"
    "</InstallModel>\n";

TEST(KvsSequence, TheFirstSequenceOfAMatchingTaskIsTheScenario) {
    KvTest::ProductInstallation installation("\"en-us\"");
    installation.WriteModel("en-us", "KvICInstallLDS.xml", kModel);
    EXPECT_EQ(InstallModelPath(PlatformX86()),
              Platform::Utf8ToWide(installation.Folder()) + L"en-us/KvICInstallLDS.xml");
    EXPECT_EQ(CKVSSequence(L"korvant suite resources control", PlatformX86()),
              L"step one; step & two");
    EXPECT_EQ(CKVSSequence(L"Missing task", PlatformX86()), L"");
}

TEST(KvsSequence, TheLocaleAndPlatformChooseTheFile) {
    KvTest::ProductInstallation installation("\"ru-ru\"");
    installation.WriteModel(
        "ru-ru", "KvICInstallLDS64.xml",
        "<M><Tasks><Task name=\"Контроль ресурсов Korvant Suite\"><Sequence>шаги x64</Sequence>"
        "</Task></Tasks></M>");
    EXPECT_EQ(CKVSSequence(L"КОНТРОЛЬ РЕСУРСОВ KORVANT SUITE", PlatformX64()), L"шаги x64");
    // No file for x86 in that locale: the error of the missing file.
    EXPECT_EQ(RaisedCode([] { CKVSSequence(L"t", PlatformX86()); }), 2u);
}

TEST(KvsSequence, FilesThatCannotBeReadAreRaised) {
    KvTest::ProductInstallation installation("\"en-us\"");
    installation.WriteModel("en-us", "KvICInstallLDS.xml",
                            "<!DOCTYPE M [<!ENTITY a \"aaaa\">]><M><Tasks/></M>");
    try {
        CKVSSequence(L"t", PlatformX86());
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_NE(e.Description().find(L"Document type declarations (DOCTYPE) are not accepted"),
                  std::wstring::npos)
            << Platform::WideToUtf8(e.Description());
    }
    unsetenv("SecurityServerDir");
    EXPECT_EQ(RaisedCode([] { CKVSSequence(L"t", PlatformX86()); }), 203u);
}

}  // namespace
}  // namespace KvMigration
