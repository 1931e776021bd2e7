#include "helper/MigrationJournal.h"

#include <gtest/gtest.h>

namespace KvMigration {
namespace {

struct RecordingSink : IJournalSink {
    std::vector<std::wstring> seen;
    void OnSection(const std::wstring& section) override { seen.push_back(L"section " + section); }
    void OnObject(const ObjectEvent& event, const MigrationJournal&) override {
        seen.push_back(event.section + L" " + event.id + L" " + ObjectActionName(event.action));
    }
};

TEST(MigrationJournal, CountsEachObjectUnderTheSectionThatRunsUnlessItNamesItsOwn) {
    MigrationJournal journal;
    auto sink = std::make_shared<RecordingSink>();
    journal.AddSink(sink);
    journal.BeginSection(L"Oms");
    journal.Record(L"Server", L"S-1", L"oms", ObjectAction::Updated);
    journal.Record(L"Policy", L"{1}", L"p", ObjectAction::Created);
    journal.Record(L"Policy", L"{2}", L"q", ObjectAction::Created);
    journal.BeginSection(L"ICheck");
    journal.Record(ObjectEvent{L"Oms", L"Policy", L"{3}", L"r", ObjectAction::Deleted, {}, 0});
    journal.BeginSection(L"Client");

    const std::vector<SectionTally> tallies = journal.Tallies();
    ASSERT_EQ(tallies.size(), 3u);
    EXPECT_EQ(tallies[0].section, L"Oms");
    EXPECT_EQ(tallies[0].Count(ObjectAction::Created), 2u);
    EXPECT_EQ(tallies[0].Count(ObjectAction::Updated), 1u);
    EXPECT_EQ(tallies[0].Count(ObjectAction::Deleted), 1u);
    EXPECT_EQ(tallies[1].section, L"ICheck");
    EXPECT_EQ(tallies[2].section, L"Client");
    EXPECT_EQ(journal.Total(), 4u);
    EXPECT_EQ(journal.Total(ObjectAction::Created), 2u);
    EXPECT_EQ(sink->seen,
              (std::vector<std::wstring>{L"section Oms", L"Oms S-1 updated", L"Oms {1} created",
                                         L"Oms {2} created", L"section ICheck", L"Oms {3} deleted",
                                         L"section Client"}));
}

}  // namespace
}  // namespace KvMigration
