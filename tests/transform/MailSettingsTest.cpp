#include <gtest/gtest.h>

#include "base/KvError.h"
#include "support/TraceCapture.h"
#include "transform/MailSettings.h"
#include "transform/MailSettingsReader.h"
#include "transform/MailSettingsTransformer.h"

namespace KvMigration {
namespace {

const std::wstring kRoot =
    L"<UAMailFilter from=\"kv@corp.local\" mailServer=\"mx.corp.local\" user=\"mailer\" "
    L"password=\"pw\" port=\"25\" authenticate=\"1\">";
const std::wstring kNewRoot =
    L"<UAMailFilter from=\"kv@corp.local\" mailServer=\"mx.corp.local\" user=\"mailer\" "
    L"password=\"pw\" port=\"25\" authenticate=\"1\">\n";
const std::wstring kSubject = L"subject=\"Korvant Suite. Рассылка о тревогах.\"";

std::wstring OldDocument(const std::wstring& rules) {
    return kRoot + L"<Rules>" + rules + L"</Rules></UAMailFilter>";
}

std::wstring NewRule(int number, const std::wstring& attach, const std::wstring& source,
                     const std::wstring& category, const std::vector<std::wstring>& addresses) {
    std::wstring text = L"    <Rule name=\"Правило №" + std::to_wstring(number) + L"\" " +
                        kSubject + L" attach=\"" + attach + L"\" sourceName=\"" + source +
                        L"\" category=\"" + category + L"\" eventID=\"\">\n";
    if (addresses.empty()) {
        text += L"      <AddressList/>\n";
    } else {
        text += L"      <AddressList>\n";
        for (const std::wstring& address : addresses) {
            text += L"        <Address>" + address + L"</Address>\n";
        }
        text += L"      </AddressList>\n";
    }
    return text + L"    </Rule>\n";
}

std::wstring NewDocument(const std::wstring& rules) {
    if (rules.empty()) {
        return kNewRoot + L"  <Rules/>\n</UAMailFilter>";
    }
    return kNewRoot + L"  <Rules>\n" + rules + L"  </Rules>\n</UAMailFilter>";
}

const std::wstring kSecurity = L"Microsoft-Windows-Security-Auditing";

TEST(MailSettingsTransform, ConvertsOldRulesIntoOneRulePerSourceAndCategory) {
    struct Case {
        const char* name;
        std::wstring rules;
        std::wstring expected;
    };
    const Case cases[] = {
        {"equal rules merge, their addresses once each in ordinal order",
         L"<Rule title=\"T1\" subject=\"S1\" isActive=\"1\" attach=\"0\">"
         L"<Address>b</Address><Address>a</Address>"
         L"<SecurityEvents><Eng>Logon</Eng></SecurityEvents></Rule>"
         L"<Rule title=\"T2\" subject=\"S2\" isActive=\"0\" attach=\"0\">"
         L"<Address>a</Address><Address>c</Address>"
         L"<SecurityEvents><Eng>Logon</Eng></SecurityEvents></Rule>",
         NewRule(1, L"0", kSecurity, L"12544", {L"a", L"b", L"c"})},
        {"the same category name in two sources gives two rules",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"1\"><Address>x</Address>"
         L"<KorvantEvents><Eng>Общие события</Eng></KorvantEvents>"
         L"<KorvantLspEvents><Eng>System events</Eng></KorvantLspEvents></Rule>",
         NewRule(1, L"1", L"Korvant", L"1", {L"x"}) +
             NewRule(2, L"1", L"KorvantLSP", L"1", {L"x"})},
        {"numbering by first appearance: product, LSP, security, then the next rule's new ones",
         L"<Rule title=\"T1\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>a</Address>"
         L"<SecurityEvents><Eng>Logon</Eng></SecurityEvents>"
         L"<KorvantLspEvents><Eng>Device control</Eng></KorvantLspEvents>"
         L"<KorvantEvents><Eng>ПАК \"Квилл\"</Eng></KorvantEvents></Rule>"
         L"<Rule title=\"T2\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>b</Address>"
         L"<KorvantEvents><Eng>Вход/выход</Eng></KorvantEvents>"
         L"<SecurityEvents><Eng>Logon</Eng></SecurityEvents></Rule>",
         NewRule(1, L"0", L"Korvant", L"15", {L"a"}) +
             NewRule(2, L"0", L"KorvantLSP", L"26", {L"a"}) +
             NewRule(3, L"0", kSecurity, L"12544", {L"a", L"b"}) +
             NewRule(4, L"0", L"Korvant", L"2", {L"b"})},
        {"rules that differ only in attach stay separate",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>a</Address>"
         L"<SecurityEvents><Eng>Logoff</Eng></SecurityEvents></Rule>"
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"1\"><Address>a</Address>"
         L"<SecurityEvents><Eng>Logoff</Eng></SecurityEvents></Rule>",
         NewRule(1, L"0", kSecurity, L"12545", {L"a"}) +
             NewRule(2, L"1", kSecurity, L"12545", {L"a"})},
        {"a category named again, in the same rule and in the next, keeps its place and "
         "collects the addresses of both rules",
         L"<Rule title=\"T1\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>b</Address>"
         L"<SecurityEvents><Eng>Logon</Eng><Eng>Logoff</Eng><Eng>Logon</Eng></SecurityEvents>"
         L"</Rule>"
         L"<Rule title=\"T2\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>a</Address>"
         L"<SecurityEvents><Eng>Logoff</Eng><Eng>Logon</Eng><Eng>Logoff</Eng></SecurityEvents>"
         L"</Rule>",
         NewRule(1, L"0", kSecurity, L"12544", {L"a", L"b"}) +
             NewRule(2, L"0", kSecurity, L"12545", {L"a", L"b"})},
        {"known subcategories without an id are dropped",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>a</Address>"
         L"<SecurityEvents><Eng>IPsec Driver</Eng><Eng>Other Privilege Use Events</Eng>"
         L"</SecurityEvents></Rule>",
         NewRule(1, L"0", kSecurity, L"13058", {L"a"})},
        {"the event source stays in force after its container ends",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"0\">"
         L"<KorvantLspEvents/><Eng>Backup</Eng></Rule>",
         NewRule(1, L"0", L"KorvantLSP", L"11", {})},
        {"a rule missing attach keeps the attributes before it and is converted",
         L"<Rule title=\"T\" subject=\"S\"><Address>a</Address>"
         L"<KorvantEvents><Eng>Регистрация</Eng></KorvantEvents></Rule>",
         NewRule(1, L"", L"Korvant", L"10", {L"a"})},
        {"a category outside any event container is not recorded",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"0\"><Eng>Logon</Eng>"
         L"<Address>a</Address><SecurityEvents><Eng>Logon</Eng></SecurityEvents></Rule>",
         NewRule(1, L"0", kSecurity, L"12544", {L"a"})},
        {"special characters are escaped by the writer",
         L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"a&amp;b\">"
         L"<Address>x&lt;y@corp</Address>"
         L"<SecurityEvents><Eng>Registry</Eng></SecurityEvents></Rule>",
         NewRule(1, L"a&amp;b", kSecurity, L"12801", {L"x&lt;y@corp"})},
        {"no rules give an empty Rules element", L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TransformMailSettingsText(OldDocument(c.rules)), NewDocument(c.expected));
    }
}

TEST(MailSettingsTransform, TracesUnknownCategoriesButNotKnownOnesWithoutId) {
    const size_t start = KvTest::TraceLogSize();
    const std::wstring result = TransformMailSettingsText(OldDocument(
        L"<Rule title=\"T\" subject=\"S\" isActive=\"1\" attach=\"0\"><Address>a</Address>"
        L"<SecurityEvents><Eng>IPsec Driver</Eng><Eng>Logon Attempts</Eng></SecurityEvents>"
        L"</Rule>"));
    EXPECT_EQ(result, NewDocument(L""));
    const std::wstring log = KvTest::TraceLogSince(start);
    EXPECT_NE(log.find(L"Can not transform the event category \"Logon Attempts\". The category "
                       L"will be discarded.\r\n"),
              std::wstring::npos)
        << log;
    EXPECT_EQ(log.find(L"IPsec Driver"), std::wstring::npos) << log;
}

TEST(MailSettingsTransform, KeepsTextWithAnotherRootUnchanged) {
    const std::wstring text = L"<MailFilter from=\"a\"/>";
    EXPECT_EQ(TransformMailSettingsText(text), text);
}

TEST(MailSettingsTransform, RaisesForDamagedText) {
    try {
        TransformMailSettingsText(kRoot + L"<Rules><Rule title=\"T\"");
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_NE(error.Description().find(L"damaged"), std::wstring::npos) << error.Description();
    }
}

TEST(MailSettingsReader, CollectsRulesServersAndCategoriesInDocumentOrder) {
    CMailSettingsReader reader;
    reader.BeginImport(MigrationContext{}, {{L"from", L"f"},
                                            {L"mailServer", L"m"},
                                            {L"user", L"u"},
                                            {L"password", L"pw"},
                                            {L"port", L"25"},
                                            {L"authenticate", L"0"}});
    reader.StartNode(
        L"Rule", {{L"title", L"T"}, {L"subject", L"S"}, {L"isActive", L"1"}, {L"attach", L"0"}});
    reader.StartNode(L"OmsObject", {{L"id", L"S-1-5-21-1"}, {L"type", L"1"}, {L"class", L"c"}});
    EXPECT_THROW(reader.StartNode(L"OmsObject", {{L"id", L"S-1-5-21-2"}}), KvBase::CKvError);
    reader.StartNode(L"Address", {});
    reader.Value(L"a@corp");
    reader.StartNode(L"Eng", {});
    EXPECT_THROW(reader.Value(L"Logon"), KvBase::CKvError);
    reader.StartNode(L"SecurityEvents", {});
    reader.StartNode(L"Eng", {});
    reader.Value(L"Logon");
    reader.EndNode(L"Rule");

    LegacyMailSettings expected;
    expected.from = L"f";
    expected.mailServer = L"m";
    expected.user = L"u";
    expected.password = L"pw";
    expected.port = L"25";
    expected.authenticate = L"0";
    LegacyMailRule rule;
    rule.title = L"T";
    rule.subject = L"S";
    rule.isActive = L"1";
    rule.attach = L"0";
    rule.addresses = {L"a@corp"};
    rule.servers = {{L"S-1-5-21-1", L"1", L"c"}};
    rule.securityEvents = {L"Logon"};
    expected.rules = {rule};
    EXPECT_EQ(reader.GetSettings(), expected);
}

TEST(MailSettingsReader, RaisesInvalidParameterForAMissingRootAttribute) {
    CMailSettingsReader reader;
    try {
        reader.BeginImport(MigrationContext{}, {{L"from", L"f"}});
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Code(), 87u);
        EXPECT_NE(error.Dump().find(L"CMailSettingsReader::ReadAttribute"), std::wstring::npos);
    }
}

}  // namespace
}  // namespace KvMigration
