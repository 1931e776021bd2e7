#include <gtest/gtest.h>

#include <functional>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "server/PolicyValue.h"
#include "support/TraceCapture.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

std::wstring Policy(const std::wstring& name, const std::wstring& value,
                    const std::wstring& type = L"String") {
    return L"<Policy uniqueName=\"" + name + L"\" value=\"" + value + L"\" type=\"" + type +
           L"\"/>";
}

// As the normaliser writes it: attributes in name order, one level of indentation.
std::wstring Written(const std::wstring& name, const std::wstring& value,
                     const std::wstring& type = L"String", const std::wstring& indent = L"  ") {
    return indent + L"<Policy type=\"" + type + L"\" uniqueName=\"" + name + L"\" value=\"" +
           value + L"\"/>\n";
}

TEST(TransformPolicyValue, NormalisesValuesAndCompletesTheKeyAgeGroup) {
    const std::wstring root = L"<Policies type=\"Basic\" guid=\"g\" revision=\"3\">";
    const std::wstring newRoot = L"<Policies guid=\"g\" revision=\"3\" type=\"Basic\">\n";
    struct Case {
        const char* name;
        std::wstring body;
        std::wstring expected;
    };
    const Case cases[] = {
        {"MaxKeyAge alone gets the two others with 2592000", Policy(L"MaxKeyAge", L"100"),
         Written(L"MaxKeyAge", L"100") + Written(L"KeyExpiryWarning", L"2592000") +
             Written(L"MinKeyAge", L"2592000")},
        {"all three: no additions",
         Policy(L"MinKeyAge", L"1") + Policy(L"KeyExpiryWarning", L"2") +
             Policy(L"MaxKeyAge", L"3"),
         Written(L"MinKeyAge", L"1") + Written(L"KeyExpiryWarning", L"2") +
             Written(L"MaxKeyAge", L"3")},
        {"none: no additions", Policy(L"Other", L"x", L"string"),
         Written(L"Other", L"x", L"string")},
        {"AuthenticationMode 1 becomes 0, 2 stays",
         Policy(L"AuthenticationMode", L"1", L"string") +
             Policy(L"AuthenticationMode", L"2", L"string") +
             Policy(L"AuthenticationMode", L"", L"string"),
         Written(L"AuthenticationMode", L"0", L"string") +
             Written(L"AuthenticationMode", L"2", L"string") +
             Written(L"AuthenticationMode", L"0", L"string")},
        {"Prn: every MandatLevel=\"0xffffffff\" becomes 4294967295",
         Policy(L"Prn",
                L"&lt;prn MandatLevel=&quot;0xffffffff&quot;&gt;&lt;u "
                L"MandatLevel=&quot;0xffffffff&quot; x=&quot;0xffffffff&quot;/&gt;&lt;/prn&gt;",
                L"XMLString"),
         Written(L"Prn",
                 L"&lt;prn MandatLevel=&quot;4294967295&quot;&gt;&lt;u "
                 L"MandatLevel=&quot;4294967295&quot; x=&quot;0xffffffff&quot;/&gt;&lt;/prn&gt;",
                 L"XMLString")},
        {"a value named otherwise is unchanged",
         Policy(L"Other", L"MandatLevel=&quot;0xffffffff&quot;"),
         Written(L"Other", L"MandatLevel=&quot;0xffffffff&quot;")},
        {"nested elements are copied, text dropped, the group closes the root",
         L"<Group b=\"2\" a=\"1\">text<Policy uniqueName=\"MinKeyAge\" value=\"5\" "
         L"type=\"String\">inner</Policy></Group>",
         L"  <Group a=\"1\" b=\"2\">\n" + Written(L"MinKeyAge", L"5", L"String", L"    ") +
             L"  </Group>\n" + Written(L"KeyExpiryWarning", L"2592000") +
             Written(L"MaxKeyAge", L"31104000")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TransformPolicyValue(root + c.body + L"</Policies>"),
                  newRoot + c.expected + L"</Policies>");
    }
}

TEST(TransformPolicyValue, AnEmptyDocumentStaysEmpty) {
    EXPECT_EQ(TransformPolicyValue(L"<Policies type=\"Dacs\"/>"), L"<Policies type=\"Dacs\"/>");
    EXPECT_EQ(TransformPolicyValue(L""), L"");
}

TEST(TransformPolicyValue, ADocumentWithAnotherRootGivesAnEmptyResultAndATraceLine) {
    const size_t start = KvTest::TraceLogSize();
    EXPECT_EQ(TransformPolicyValue(L"<Settings><Policies type=\"Basic\"/></Settings>"), L"");
    EXPECT_NE(KvTest::TraceLogSince(start).find(
                  L"W> The policy document has no Policies element and is dropped\r\n"),
              std::wstring::npos);
}

TEST(TransformPolicyValue, RaisesForADamagedDocument) {
    EXPECT_THROW(TransformPolicyValue(L"<Policies type=\"Basic\"><Policy uniqueName=\"a\""),
                 KvBase::CKvError);
}

// The description of the error the writer raises for what `write` does.
std::wstring WriterRefusal(const std::function<void(ISaxWriter&)>& write) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    try {
        write(writer);
    } catch (const KvBase::CKvError& error) {
        return error.Description();
    }
    return L"no refusal";
}

TEST(TransformPolicyValue, RaisesTheWritersRefusalOfANameInsteadOfEndingTheRunOrCopyingPart) {
    const std::wstring prefixedAttribute = WriterRefusal([](ISaxWriter& writer) {
        writer.StartNode(L"Policy", L"");
        writer.WriteAttribute(L"p:note", L"1");
    });
    struct Case {
        const char* name;
        std::wstring text;
        std::wstring description;
    };
    const Case cases[] = {
        {"a prefixed attribute on the root",
         L"<Policies xmlns:p=\"urn:p\" type=\"Basic\" p:note=\"1\">" + Policy(L"A", L"1") +
             L"</Policies>",
         prefixedAttribute},
        {"a prefixed attribute on a policy",
         L"<Policies xmlns:p=\"urn:p\" type=\"Basic\"><Policy uniqueName=\"A\" p:note=\"1\"/>" +
             Policy(L"B", L"2") + L"</Policies>",
         prefixedAttribute},
        {"an element named with \"xml\" before others",
         L"<Policies type=\"Basic\"><xmlPolicy uniqueName=\"A\"/>" + Policy(L"B", L"2") +
             L"</Policies>",
         WriterRefusal([](ISaxWriter& writer) { writer.StartNode(L"xmlPolicy", L""); })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.description, L"no refusal");
        try {
            TransformPolicyValue(c.text);
            ADD_FAILURE() << "no error";
        } catch (const KvBase::CKvError& error) {
            EXPECT_EQ(error.Description(), c.description);
        }
    }
}

TEST(TransformPolicyValue, RaisesForTheFuzzersDamagedDocumentWithAPrefixedRootAttribute) {
    // The fuzzer's bytes, decoded as it decodes them; "\xA7" is not UTF-8.
    const std::string bytes =
        "<Policies type=\"Basic\" guid=\"\" rev55555555555:" + std::string(42, '5') +
        "ision=\"1\"><Policy uniqueName=\"MaxKeyAge\" value=\"1\" type=\"St\xA7ring\"/>"
        "<Policy uniqueName=\"Authenticat\"\"cies>";
    EXPECT_THROW(TransformPolicyValue(Platform::Utf8ToWide(bytes)), KvBase::CKvError);
}

}  // namespace
}  // namespace KvMigration
