#include "helper/ConsoleProgress.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace KvMigration {
namespace {

// Records what reached each stream; the status line as "status <text>".
class FakeConsole : public Platform::IConsole {
public:
    explicit FakeConsole(bool terminal) : terminal_(terminal) {}
    void Write(std::string_view bytes) override { seen.push_back("out " + std::string(bytes)); }
    void WriteError(std::string_view bytes) override {
        seen.push_back("err " + std::string(bytes));
    }
    bool OutputIsTerminal() override { return terminal_; }
    void WriteStatus(std::string_view bytes) override {
        seen.push_back("status " + std::string(bytes));
    }
    int SetTextAttribute(int attribute) override { return attribute; }
    void Pause() override {}
    void WaitForEnter() override {}

    std::vector<std::string> seen;

private:
    bool terminal_;
};

struct ProgressFixture {
    explicit ProgressFixture(bool terminal) : console(terminal) {
        journal.AddSink(std::make_shared<ConsoleProgress>(console, [this] { return now; }));
    }
    void Record(int objects, ObjectAction action = ObjectAction::Created) {
        for (int i = 0; i < objects; ++i) {
            journal.Record(L"Policy", std::to_wstring(i), L"p", action);
        }
    }
    FakeConsole console;
    MigrationJournal journal;
    std::chrono::steady_clock::time_point now{};
};

TEST(ConsoleProgress, ElsewhereOneLineFollowsEveryHundredthObjectOfASection) {
    ProgressFixture progress(false);
    progress.journal.BeginSection(L"Mapping");
    progress.Record(99);
    EXPECT_TRUE(progress.console.seen.empty()) << "a short section prints nothing";
    progress.journal.BeginSection(L"Oms");
    progress.Record(150);
    progress.Record(150, ObjectAction::Skipped);
    progress.journal.BeginSection(L"Client");
    progress.Record(100);
    EXPECT_EQ(
        progress.console.seen,
        (std::vector<std::string>{"out Oms: 100 objects...\n", "out Oms: 200 objects...\n",
                                  "out Oms: 300 objects...\n", "out Client: 100 objects...\n"}));
}

TEST(ConsoleProgress, OnATerminalTheStatusLineShowsTheSectionsCountsAtMostEveryInterval) {
    ProgressFixture progress(true);
    progress.journal.BeginSection(L"Oms");
    progress.Record(1);
    progress.now += ConsoleProgress::TerminalInterval / 2;
    progress.Record(200, ObjectAction::Updated);
    progress.now += ConsoleProgress::TerminalInterval / 2;
    progress.Record(1, ObjectAction::Failed);
    progress.journal.BeginSection(L"Client");
    progress.now += ConsoleProgress::TerminalInterval * 3;
    progress.Record(1, ObjectAction::Skipped);
    // A section that begins within the interval is shown at once: a short one would otherwise
    // never be.
    progress.journal.BeginSection(L"ICheck");
    progress.Record(1, ObjectAction::Deleted);
    EXPECT_EQ(progress.console.seen,
              (std::vector<std::string>{
                  "status Oms: 1 object (1 created)",
                  "status Oms: 202 objects (1 created, 200 updated, 1 failed)",
                  "status Client: 1 object (1 skipped)", "status ICheck: 1 object (1 deleted)"}));
}

TEST(ConsoleProgress, TheStatusLineFitsOneRow) {
    ProgressFixture progress(true);
    progress.journal.Record(
        ObjectEvent{std::wstring(200, L'S'), L"Policy", L"1", L"p", ObjectAction::Created, {}, 0});
    ASSERT_EQ(progress.console.seen.size(), 1u);
    EXPECT_EQ(progress.console.seen[0], "status " + std::string(79, 'S'));
}

}  // namespace
}  // namespace KvMigration
