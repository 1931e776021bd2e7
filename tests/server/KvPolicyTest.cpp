#include <gtest/gtest.h>

#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "platform/CodePage.h"
#include "server/KvPolicy.h"
#include "support/GpeBlob.h"
#include "support/ScopedTempDir.h"
#include "support/TraceCapture.h"

namespace KvMigration {
namespace {

std::wstring Nibbles(const std::string& text) {
    return KvTest::MakeNibbles(KvTest::MakeBlob(text));
}

std::string Narrow(const std::wstring& text) {
    return Platform::WideToUtf8(text);
}

TEST(DecodePolicyXml, DropsLeadingProcessingInstructionsAndWhatPrecedesTheFirstElement) {
    struct Case {
        std::string inflated;
        std::wstring expected;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<prn MandatLevel=\"1\"/>",
         L"<prn MandatLevel=\"1\"/>"},
        {"junk<?a?><?b?>text<root>Общие</root>", L"<root>Общие</root>"},
        {"<root/>", L"<root/>"},
        {"no element at all", L"no element at all"},
        {"<?only?>", L"?only?>"},
        {"trailing <", L"<"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inflated);
        EXPECT_EQ(DecodePolicyXml(Nibbles(c.inflated)), c.expected);
    }
}

TEST(PolicyEntries, AddsTheMissingSecurityModesOnlyWhenOneIsSet) {
    const std::vector<PolicyEntry> none;
    struct Case {
        const char* name;
        std::vector<TemplateSetting> settings;
        std::vector<PolicyEntry> expected;
    };
    const Case cases[] = {
        {"AuditMode alone: AuthenticationMode, then CryptoMode, after the settings",
         {{L"AuditMode", L"1", L"string"}, {L"Other", L"x", L"string"}},
         {{PolicyDocument::Base, L"AuditMode", L"1", L"string"},
          {PolicyDocument::Base, L"Other", L"x", L"string"},
          {PolicyDocument::Base, L"AuthenticationMode", L"0", L"string"},
          {PolicyDocument::Base, L"CryptoMode", L"0", L"string"}}},
        {"CryptoMode alone",
         {{L"CryptoMode", L"2", L"string"}},
         {{PolicyDocument::Base, L"CryptoMode", L"2", L"string"},
          {PolicyDocument::Base, L"AuditMode", L"0", L"string"},
          {PolicyDocument::Base, L"AuthenticationMode", L"0", L"string"}}},
        {"no mode: nothing added",
         {{L"Other", L"x", L"string"}},
         {{PolicyDocument::Base, L"Other", L"x", L"string"}}},
        {"duplicates are kept",
         {{L"A", L"1", L"string"}, {L"A", L"2", L"string"}},
         {{PolicyDocument::Base, L"A", L"1", L"string"},
          {PolicyDocument::Base, L"A", L"2", L"string"}}},
        {"Dacs goes to the devices document, Prn stays in the base one, both decoded",
         {{L"Dacs", Nibbles("<?xml?><policy/>"), L"string"},
          {L"Prn", Nibbles("<prn/>"), L"string"}},
         {{PolicyDocument::Devices, L"Dacs", L"<policy/>", L"XMLString"},
          {PolicyDocument::Base, L"Prn", L"<prn/>", L"XMLString"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PolicyTemplate policy;
        policy.settings = c.settings;
        EXPECT_EQ(PolicyEntries(policy), c.expected);
    }
}

class CreateKvPolicyTest : public testing::Test {
protected:
    std::wstring WriteTemplate(const std::string& bytes) {
        const std::string path = folder_.File("GptKorvant.inf");
        KvTest::WriteFile(path, bytes);
        return Platform::Utf8ToWide(path);
    }

    KvTest::ScopedTempDir folder_;
};

TEST_F(CreateKvPolicyTest, WritesTheBaseAndDevicesDocumentsOfATemplate) {
    const std::string text =
        "[Unicode]\r\nUnicode=no\r\n[Version]\r\nsignature=\"$CHICAGO$\"\r\nRevision=5\r\n"
        "[Korvant]\r\nAuditMode=1\r\nMinLength=8 ; minimum\r\nPrn=" +
        Narrow(Nibbles("<?xml version=\"1.0\"?>\r\n<prn MandatLevel=\"0xffffffff\"/>")) +
        "\r\nDacs=" + Narrow(Nibbles("<policy Description=\"Карта\"/>")) + "\r\n";
    ObjectDataPtr policy = CreateKvPolicy(WriteTemplate(text));
    ASSERT_NE(policy, nullptr);
    EXPECT_EQ(policy->kind, KindPolicy);
    Platform::Guid guid;
    EXPECT_TRUE(ParseGuid(policy->id, guid)) << Narrow(policy->id);
    EXPECT_EQ(policy->attributes.size(), 4u);
    EXPECT_EQ(policy->attributes[L"orvexKVPolicyVersion"].text, L"1");
    EXPECT_EQ(policy->attributes[L"orvexKVPolicyRevision"].text, L"5");
    EXPECT_EQ(policy->attributes[L"orvexKVPolicyBase"].text,
              L"<Policies type=\"Basic\" guid=\"\" revision=\"5\">\n"
              L"  <Policy uniqueName=\"Unicode\" value=\"no\" type=\"string\"/>\n"
              L"  <Policy uniqueName=\"AuditMode\" value=\"1\" type=\"string\"/>\n"
              L"  <Policy uniqueName=\"MinLength\" value=\"8 \" type=\"string\"/>\n"
              L"  <Policy uniqueName=\"Prn\" value=\"&lt;prn "
              L"MandatLevel=&quot;0xffffffff&quot;/&gt;\" type=\"XMLString\"/>\n"
              L"  <Policy uniqueName=\"AuthenticationMode\" value=\"0\" type=\"string\"/>\n"
              L"  <Policy uniqueName=\"CryptoMode\" value=\"0\" type=\"string\"/>\n"
              L"</Policies>");
    EXPECT_EQ(
        policy->attributes[L"orvexKVPolicyDevices"].text,
        L"<Policies type=\"Dacs\" guid=\"\" revision=\"5\">\n"
        L"  <Policy uniqueName=\"Dacs\" value=\"&lt;policy Description=&quot;Карта&quot;/&gt;\" "
        L"type=\"XMLString\"/>\n"
        L"</Policies>");
}

TEST_F(CreateKvPolicyTest, AVersionOnlyTemplateGivesRootOnlyDocuments) {
    ObjectDataPtr policy = CreateKvPolicy(WriteTemplate("[Version]\nRevision=12\n"));
    ASSERT_NE(policy, nullptr);
    EXPECT_EQ(policy->attributes[L"orvexKVPolicyBase"].text,
              L"<Policies type=\"Basic\" guid=\"\" revision=\"12\"/>");
    EXPECT_EQ(policy->attributes[L"orvexKVPolicyDevices"].text,
              L"<Policies type=\"Dacs\" guid=\"\" revision=\"12\"/>");
}

TEST_F(CreateKvPolicyTest, GivesNoPolicyForAMissingEmptyOrBrokenTemplateAndSaysWhy) {
    struct Case {
        const char* name;
        std::optional<std::string> bytes;
        std::wstring traceLine;
    };
    const Case cases[] = {
        {"missing", std::nullopt, L"File group policy %p not read\r\n"},
        {"empty", std::string(), L""},
        {"a \"[\" without \"]\"", std::string("[Version]\r\nRevision=1\r\n\r\n[Korvant\r\na=b\r\n"),
         L"W> File group policy not read, error line = 2, file string = %p\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path =
            c.bytes ? WriteTemplate(*c.bytes) : Platform::Utf8ToWide(folder_.File("missing.inf"));
        const size_t start = KvTest::TraceLogSize();
        EXPECT_EQ(CreateKvPolicy(path), nullptr);
        std::wstring line = c.traceLine;
        if (size_t at = line.find(L"%p"); at != std::wstring::npos) {
            line.replace(at, 2, path);
        }
        const std::wstring log = KvTest::TraceLogSince(start);
        if (!line.empty()) {
            EXPECT_NE(log.find(line), std::wstring::npos) << Narrow(log);
        }
        std::remove(Narrow(path).c_str());
    }
}

// As many "a=" lines as the settings limit takes.
const size_t kShortSettingsThatFit = PolicyTemplateMaxSettingBytes / PolicySettingCost(L"a", L"");

std::string ShortSettings(size_t count) {
    std::string text = "[S]\n";
    for (size_t i = 0; i < count; ++i) {
        text += "a=\n";
    }
    return text;
}

TEST_F(CreateKvPolicyTest, GivesNoPolicyWhenTheSettingsExceedTheirLimit) {
    // A line gives one setting per "=", each as long as the line.
    const std::string manyEquals = "[S]\nk" + std::string(3000, '=') + "\n";
    const std::string hugeBlob =
        "[S]\nDacs=" + Narrow(Nibbles("<p>" + std::string(5 * 1024 * 1024, 'a') + "</p>")) + "\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring reason;
    };
    const Case cases[] = {
        {"a line of many \"=\"", manyEquals,
         L"W> File group policy not read, error line = 1, file string = "},
        {"a decoded blob", hugeBlob, L"W> File group policy "},
        {"a value of quotes, six characters each in the document",
         "[S]\na=" + std::string(1024 * 1024, '"') + "\n",
         L"W> File group policy not read, error line = 1, file string = "},
        // Their characters are few; their records and markup are what counts.
        {"many short settings", ShortSettings(kShortSettingsThatFit + 1),
         L"W> File group policy not read, error line = " +
             std::to_wstring(kShortSettingsThatFit + 1) + L", file string = "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = WriteTemplate(c.bytes);
        const size_t start = KvTest::TraceLogSize();
        EXPECT_EQ(CreateKvPolicy(path), nullptr);
        const std::wstring log = KvTest::TraceLogSince(start);
        EXPECT_NE(log.find(L"W> The group policy settings exceed 16777216 bytes\r\n"),
                  std::wstring::npos);
        EXPECT_NE(log.find(c.reason + path), std::wstring::npos);
    }
}

TEST_F(CreateKvPolicyTest, MakesThePolicyOfTheMostShortSettingsTheLimitTakes) {
    ObjectDataPtr policy = CreateKvPolicy(WriteTemplate(ShortSettings(kShortSettingsThatFit)));
    ASSERT_NE(policy, nullptr);
    const std::wstring& base = policy->attributes[L"orvexKVPolicyBase"].text;
    size_t count = 0;
    for (size_t at = base.find(L"<Policy "); at != std::wstring::npos;
         at = base.find(L"<Policy ", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, kShortSettingsThatFit);
}

TEST_F(CreateKvPolicyTest, RaisesTheDecodingErrorOfABadBlob) {
    try {
        CreateKvPolicy(WriteTemplate("[Korvant]\nDacs=00\n"));
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Code(), 0xE609001Au);
    }
}

TEST_F(CreateKvPolicyTest, ReadsTheTemplateAsText) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"CR LF becomes LF, a lone CR stays", "a\r\nb\rc\r\n\r\n", L"a\nb\rc\n\n"},
        {"the text ends at the first Ctrl-Z", "a\r\nb\x1A\r\nc\x1A", L"a\nb"},
        {"a Ctrl-Z first: no text", "\x1A[S]\r\n", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadPolicyTemplate(WriteTemplate(c.bytes)), c.text);
    }
    EXPECT_EQ(ReadPolicyTemplate(Platform::Utf8ToWide(folder_.Path())), std::nullopt);
}

TEST_F(CreateKvPolicyTest, ATemplateEndsAtItsFirstCtrlZ) {
    const std::string start = "[Version]\r\nRevision=3\r\n[Korvant]\r\nAuditMode=1";
    const std::wstring base =
        L"<Policies type=\"Basic\" guid=\"\" revision=\"3\">\n"
        L"  <Policy uniqueName=\"AuditMode\" value=\"1\" type=\"string\"/>\n"
        L"  <Policy uniqueName=\"AuthenticationMode\" value=\"0\" type=\"string\"/>\n"
        L"  <Policy uniqueName=\"CryptoMode\" value=\"0\" type=\"string\"/>\n"
        L"</Policies>";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"on a line of its own", start + "\r\n\x1A"},
        {"right after the last value", start + "\x1A"},
        {"before text that would not parse", start + "\r\n\x1A[Broken\r\nx=1\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ObjectDataPtr policy = CreateKvPolicy(WriteTemplate(c.bytes));
        ASSERT_NE(policy, nullptr);
        EXPECT_EQ(policy->attributes[L"orvexKVPolicyRevision"].text, L"3");
        EXPECT_EQ(policy->attributes[L"orvexKVPolicyBase"].text, base);
    }
}

}  // namespace
}  // namespace KvMigration

namespace KvMigration {
namespace {

// Under a UTF-8 locale, a template a Russian Windows server wrote (CP1251 bytes, and CP1251
// inside its compressed device document) arrives as Cyrillic once the registry names the
// server's code page, and as "?" without it.
TEST_F(CreateKvPolicyTest, CyrillicOfAWindowsServerArrivesThroughItsCodePage) {
    const std::string card = "\xCA\xE0\xF0\xF2\xE0";  // "Карта" in CP1251
    const std::string text =
        "[Version]\r\nRevision=1\r\n[Korvant]\r\nBanner=" + card +
        "\r\nDacs=" + Narrow(Nibbles("<policy Description=\"" + card + "\"/>")) + "\r\n";
    const std::wstring path = WriteTemplate(text);
    struct Case {
        const char* title;
        std::string registry;
        std::wstring banner;
    };
    const Case cases[] = {
        {"ACP 1251", "\"ACP\"=\"1251\"", L"Карта"},
        {"no ACP: the locale's UTF-8", "", L"?????"},
        {"an ACP this machine cannot convert", "\"ACP\"=\"99999\"", L"?????"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(
            folder_.File("r.reg"),
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]\n" +
                c.registry + "\n");
        KvTest::ScopedEnv registry("KV_REGISTRY_FILE", folder_.File("r.reg"));
        ObjectDataPtr policy = CreateKvPolicy(path);
        ASSERT_NE(policy, nullptr);
        EXPECT_NE(
            policy->attributes[L"orvexKVPolicyBase"].text.find(L"value=\"" + c.banner + L"\""),
            std::wstring::npos)
            << Narrow(policy->attributes[L"orvexKVPolicyBase"].text);
        EXPECT_NE(policy->attributes[L"orvexKVPolicyDevices"].text.find(L"Description=&quot;" +
                                                                        c.banner + L"&quot;"),
                  std::wstring::npos)
            << Narrow(policy->attributes[L"orvexKVPolicyDevices"].text);
    }
}

}  // namespace
}  // namespace KvMigration
