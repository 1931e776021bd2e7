// The per-object report: its lines as a pass records objects, the names it refuses before it
// writes anything, and its last line however the run ends, through the real binary.
#include "app/ObjectReport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/JsonValue.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

class ObjectReportTest : public testing::Test {
protected:
    InputParameters Parameters(const std::string& report, bool isExport = false) const {
        InputParameters parameters;
        parameters.isExport = isExport;
        parameters.fileName = Platform::Utf8ToWide(dir.File("m.xml"));
        parameters.reportFile = Platform::Utf8ToWide(report);
        return parameters;
    }

    // The description of the error that opening the report raises, or "" when it opens.
    std::string Refusal(const InputParameters& parameters) const {
        try {
            ObjectReport::Open(parameters);
        } catch (const KvBase::CKvError& e) {
            return Platform::WideToUtf8(e.Description());
        }
        return {};
    }

    KvTest::ScopedTempDir dir;
};

TEST_F(ObjectReportTest, WritesEachObjectAsItIsRecordedAndTheSummaryOfTheLinesLast) {
    InputParameters parameters = Parameters(dir.File("report.jsonl"));
    parameters.dryRun = true;
    MigrationJournal journal;
    std::shared_ptr<ObjectReport> report = ObjectReport::Open(parameters);
    journal.AddSink(report);
    journal.BeginSection(L"Mapping");
    journal.BeginSection(L"Oms");
    journal.Record(L"Server", L"S-1-5-21-1-2-3-1000", L"OMS", ObjectAction::Updated);
    const std::string first = KvTest::ReadFile(dir.File("report.jsonl"));
    EXPECT_EQ(first,
              "{\"section\":\"Oms\",\"kind\":\"Server\",\"id\":\"S-1-5-21-1-2-3-1000\",\"name\":"
              "\"OMS\",\"action\":\"updated\",\"reason\":\"\",\"code\":0}\n")
        << "a line is on disk as soon as its object is recorded";
    journal.Record(L"Container", L"{C}", L"OU=\x41e\x444\x438\x441", ObjectAction::Skipped,
                   L"not a domain subtree container");
    journal.Record(ObjectEvent{L"Client", L"User", L"S-1-5-21-1-2-3-1105", L"u",
                               ObjectAction::Failed, L"Access is denied.", 5});
    report->Finish(0, journal.Tallies());
    journal.Record(L"Policy", L"{P}", L"late", ObjectAction::Created);
    report->Finish(255, journal.Tallies());

    EXPECT_EQ(KvTest::ReadFile(dir.File("report.jsonl")),
              first +
                  "{\"section\":\"Oms\",\"kind\":\"Container\",\"id\":\"{C}\",\"name\":\"OU="
                  "\xd0\x9e\xd1\x84\xd0\xb8\xd1\x81\",\"action\":\"skipped\",\"reason\":\"not a "
                  "domain subtree container\",\"code\":0}\n"
                  "{\"section\":\"Client\",\"kind\":\"User\",\"id\":\"S-1-5-21-1-2-3-1105\","
                  "\"name\":\"u\",\"action\":\"failed\",\"reason\":\"Access is denied.\","
                  "\"code\":5}\n"
                  "{\"summary\":{\"Mapping\":{\"exported\":0,\"created\":0,\"updated\":0,"
                  "\"skipped\":0,\"deleted\":0,\"failed\":0},\"Oms\":{\"exported\":0,\"created\":"
                  "0,\"updated\":1,\"skipped\":1,\"deleted\":0,\"failed\":0},\"Client\":{"
                  "\"exported\":0,\"created\":0,\"updated\":0,\"skipped\":0,\"deleted\":0,"
                  "\"failed\":1}},\"status\":0,\"pass\":\"import\",\"dryRun\":true}\n");
}

TEST_F(ObjectReportTest, ReplacesARegularFileWithTheReportOfThisRun) {
    KvTest::WriteFile(dir.File("old.jsonl"), "{\"summary\":{},\"status\":0}\nmore than a line\n");
    ObjectReport::Open(Parameters(dir.File("old.jsonl"), true))->Finish(255, {});
    EXPECT_EQ(KvTest::ReadFile(dir.File("old.jsonl")),
              "{\"summary\":{},\"status\":255,\"pass\":\"export\",\"dryRun\":false}\n");
}

TEST_F(ObjectReportTest, RefusesEveryNameThatIsNoFileOfItsOwnAndLeavesItAsItWas) {
    const std::string migration = dir.File("m.xml");
    KvTest::WriteFile(migration, "<Migration/>");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("target.jsonl"), dir.File("dangling"));
    std::filesystem::create_symlink(migration, dir.File("link"));
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(link(migration.c_str(), dir.File("hard.xml").c_str()), 0);
    const std::string notRegular = "\" is not a regular file; -report writes only to a file.";
    const std::string theMigrationFile =
        "\" is the migration file; -report needs a file of its own.";
    struct Case {
        const char* title;
        std::string report;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a folder", dir.File("folder"), "\"" + dir.File("folder") + notRegular},
        {"a dangling link", dir.File("dangling"), "\"" + dir.File("dangling") + notRegular},
        {"a link to the migration file", dir.File("link"), "\"" + dir.File("link") + notRegular},
        {"a FIFO", dir.File("fifo"), "\"" + dir.File("fifo") + notRegular},
        {"a device", "/dev/null", "\"/dev/null" + notRegular},
        {"the migration file", migration, "The report file \"" + migration + theMigrationFile},
        {"another spelling of it", dir.File("folder/../m.xml"),
         "The report file \"" + dir.File("folder/../m.xml") + theMigrationFile},
        {"a hard link to it", dir.File("hard.xml"),
         "The report file \"" + dir.File("hard.xml") + theMigrationFile},
        {"a missing folder", dir.File("none/r.jsonl"),
         "Can't create the report file: a folder with path \"" + dir.File("none") +
             "\" doesn't exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Refusal(Parameters(c.report)), c.message);
    }
    EXPECT_EQ(KvTest::ReadFile(migration), "<Migration/>");
    EXPECT_FALSE(std::filesystem::exists(dir.File("target.jsonl")));
}

TEST_F(ObjectReportTest, AnExportRefusesTheNameOfTheFileItIsAboutToWrite) {
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_EQ(Refusal(Parameters(dir.File("sub/../m.xml"), true)),
              "The report file \"" + dir.File("sub/../m.xml") +
                  "\" is the migration file; -report needs a file of its own.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("m.xml")));
}

class ObjectReportProgramTest : public KvTest::ProgramFixture {};

// Nothing listens on 127.0.0.9: the run fails at the storage stage, after the report is open.
TEST_F(ObjectReportProgramTest, ARunThatFailsStillEndsItsReportWithTheSummary) {
    KvTest::WriteFile(dir_.File("work/m.xml"), "<Migration/>");
    KvTest::ProcessResult result =
        Run({"-im", "m.xml", "-lds", "51000:51002", "-srv", "127.0.0.9", "-report", "r.jsonl"});
    EXPECT_EQ(result.status, 255) << result.out << result.err;
    const std::string report = KvTest::ReadFile(dir_.File("work/r.jsonl"));
    EXPECT_EQ(report, "{\"summary\":{},\"status\":255,\"pass\":\"import\",\"dryRun\":false}\n");
    ASSERT_TRUE(KvTest::ParseJson(report).has_value());
}

TEST_F(ObjectReportProgramTest, AReportThatCannotBeOpenedEndsTheRunBeforeTheStorage) {
    KvTest::WriteFile(dir_.File("work/m.xml"), "<Migration/>");
    KvTest::ProcessResult result =
        Run({"-im", "m.xml", "-lds", "51000:51002", "-srv", "127.0.0.9", "-report", "m.xml"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "The input parameters have been successfully read.\n");
    EXPECT_EQ(result.err, "The report file \"" + dir_.File("work/m.xml") +
                              "\" is the migration file; -report needs a file of its own.\n" +
                              TraceLine());
    EXPECT_EQ(KvTest::ReadFile(dir_.File("work/m.xml")), "<Migration/>");
}

TEST_F(ObjectReportProgramTest, TheTraceLogIsNoReportFile) {
    KvTest::WriteFile(dir_.File("work/m.xml"), "<Migration/>");
    const std::string trace = LogPath();
    KvTest::ProcessResult result = Run({"-im", "m.xml", "-lds", "51000:51002", "-srv", "127.0.0.9",
                                        "-report", "../logs/KvMigrationUtil.log"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "The report file \"" + dir_.File("logs/KvMigrationUtil.log") +
                              "\" is the trace log; -report needs a file of its own.\n" +
                              TraceLine());
    EXPECT_NE(KvTest::ReadFile(trace).find("End."), std::string::npos) << "the trace was emptied";
}

}  // namespace
}  // namespace KvMigration
