#include <gtest/gtest.h>

#include "base/KvError.h"
#include "support/TraceCapture.h"
#include "transform/JournalSchedule.h"

namespace KvMigration {
namespace {

const std::wstring kFlags =
    L"saveLogCopy=\"1\" takeLogExceed=\"0\" collectApplicationLog=\"1\" "
    L"collectSecurityLog=\"0\" collectSystemLog=\"1\" takeLogLogin=\"0\"";
const std::wstring kNewFlags =
    L"collectApplicationLog=\"1\" collectSecurityLog=\"0\" collectSystemLog=\"1\" "
    L"saveLogCopy=\"1\" takeLogExceed=\"0\" takeLogLogin=\"0\"";

std::wstring Items(const std::vector<std::pair<std::wstring, std::wstring>>& items) {
    std::wstring text;
    for (const auto& [day, hour] : items) {
        text += L"    <Item day=\"" + day + L"\" hour=\"" + hour + L"\" minute=\"0\"/>\n";
    }
    return text;
}

TEST(JournalSchedule, RewritesWeeklySchedulesOfTheObjectsKinds) {
    struct Case {
        const char* name;
        ObjectKind kind;
        std::wstring attribute;
        std::wstring oldText;
        std::wstring expected;
    };
    const Case cases[] = {
        {"a server journal: hour 10 before hour 2, repeated pairs once", KindServer,
         L"orvexKVOMSShedule",
         L"<LogSchedule " + kFlags +
             L" scheduleType=\"Weekly\" extra=\"x\"><Item day=\"1\" hour=\"10\"/>"
             L"<Item day=\"1\" hour=\"2\"/><Item day=\"1\" hour=\"10\"/></LogSchedule>",
         L"<LogSchedule " + kNewFlags + L" scheduleType=\"Weekly\">\n  <Week>\n" +
             Items({{L"1", L"10"}, {L"1", L"2"}}) + L"  </Week>\n</LogSchedule>"},
        {"days ordered as texts too, items nested anywhere", KindServer, L"orvexKVOMSShedule",
         L"<LogSchedule " + kFlags +
             L" scheduleType=\"Weekly\"><Items><Item day=\"2\" hour=\"0\"/></Items>"
             L"<Item day=\"10\" hour=\"23\"/><Other day=\"3\" hour=\"3\"/></LogSchedule>",
         L"<LogSchedule " + kNewFlags + L" scheduleType=\"Weekly\">\n  <Week>\n" +
             Items({{L"10", L"23"}, {L"2", L"0"}}) + L"  </Week>\n</LogSchedule>"},
        {"an archive schedule carries no flags, even when the old root had them", KindServer,
         L"orvexKVOMSArchiveJournalSchedule",
         L"<ArchiveSchedule " + kFlags +
             L" scheduleType=\"Weekly\"><Item day=\"7\" hour=\"5\"/></ArchiveSchedule>",
         L"<ArchiveSchedule scheduleType=\"Weekly\">\n  <Week>\n" + Items({{L"7", L"5"}}) +
             L"  </Week>\n</ArchiveSchedule>"},
        {"a service's computer journal", KindService, L"orvexKVComputerShedule",
         L"<LogSchedule " + kFlags + L" scheduleType=\"Weekly\"/>",
         L"<LogSchedule " + kNewFlags + L" scheduleType=\"Weekly\">\n  <Week/>\n</LogSchedule>"},
        {"an item without an hour is left out", KindService, L"orvexKVComputerShedule",
         L"<LogSchedule " + kFlags +
             L" scheduleType=\"Weekly\"><Item day=\"1\"/><Item day=\"2\" hour=\"3\"/>"
             L"</LogSchedule>",
         L"<LogSchedule " + kNewFlags + L" scheduleType=\"Weekly\">\n  <Week>\n" +
             Items({{L"2", L"3"}}) + L"  </Week>\n</LogSchedule>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttributeMap attributes{{c.attribute, CValue(c.oldText)}, {L"name", CValue(L"n")}};
        CJournalScheduleTransformer().Transform(c.kind, attributes);
        EXPECT_EQ(attributes[c.attribute].text, c.expected);
        EXPECT_EQ(attributes[L"name"].text, L"n");
    }
}

TEST(JournalSchedule, LeavesOtherSchedulesAndAttributesAsStored) {
    struct Case {
        const char* name;
        ObjectKind kind;
        std::wstring attribute;
        std::wstring text;
    };
    const std::wstring weekly = L"<LogSchedule " + kFlags +
                                L" scheduleType=\"Weekly\"><Item day=\"1\" hour=\"1\"/>"
                                L"</LogSchedule>";
    const Case cases[] = {
        {"another schedule type, even malformed", KindServer, L"orvexKVOMSShedule",
         L"<LogSchedule scheduleType=\"Daily\"><Item day=\"1\"</LogSchedule"},
        {"a server's computer journal", KindServer, L"orvexKVComputerShedule", weekly},
        {"a service's server journal", KindService, L"orvexKVOMSShedule", weekly},
        {"a policy", KindPolicy, L"orvexKVOMSShedule", weekly},
        {"a journal attribute holding an archive root", KindServer, L"orvexKVOMSShedule",
         L"<ArchiveSchedule scheduleType=\"Weekly\"><Item day=\"1\" hour=\"1\"/>"
         L"</ArchiveSchedule>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttributeMap attributes{{c.attribute, CValue(c.text)}};
        CJournalScheduleTransformer().Transform(c.kind, attributes);
        EXPECT_EQ(attributes[c.attribute].text, c.text);
    }
    AttributeMap empty{{L"orvexKVOMSShedule", CValue(L"")}};
    CJournalScheduleTransformer().Transform(KindServer, empty);
    EXPECT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[L"orvexKVOMSShedule"].text, L"");
}

TEST(JournalSchedule, RaisesForADamagedWeeklySchedule) {
    AttributeMap attributes{
        {L"orvexKVOMSShedule", CValue(L"<LogSchedule " + kFlags +
                                      L" scheduleType=\"Weekly\"><Item day=\"1\" hour=\"1\">")}};
    EXPECT_THROW(CJournalScheduleTransformer().Transform(KindServer, attributes), KvBase::CKvError);
}

TEST(JournalSchedule, ReaderRaisesInvalidParameterForAMissingFlag) {
    CJournalScheduleTransformer::CJournalScheduleReader reader(ServerJournalSchedule);
    try {
        reader.BeginImport(MigrationContext{}, {{L"saveLogCopy", L"1"}});
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Code(), 87u);
        EXPECT_NE(error.Dump().find(
                      L"CJournalScheduleTransformer::CJournalScheduleReader::ReadAttribute"),
                  std::wstring::npos);
    }
}

}  // namespace
}  // namespace KvMigration
