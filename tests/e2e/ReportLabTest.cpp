// The per-object report through the real binary against the lab: an export of the source pair and
// its import into a reset target pair, and an import of a file cut in the middle. Every line of
// every report is one JSON object, and the last one counts exactly the lines above it.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/JsonValue.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::JsonValue;
using KvTest::Lab;

const char* const kActions[] = {"exported", "created", "updated", "skipped", "deleted", "failed"};
const char* const kObjectKeys[] = {"section", "kind", "id", "name", "action", "reason", "code"};

// The lines of a report, each checked to be one JSON object; the last is the summary.
std::vector<JsonValue> ReadReport(const std::string& path) {
    const std::string text = KvTest::ReadFile(path);
    EXPECT_TRUE(!text.empty() && text.back() == '\n') << "the report does not end with a line end";
    std::vector<JsonValue> lines;
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        std::optional<JsonValue> value = KvTest::ParseJson(line);
        if (!value || value->type != JsonValue::Type::Object) {
            ADD_FAILURE() << "line " << lines.size() + 1 << " is no JSON object: " << line;
            return lines;
        }
        lines.push_back(std::move(*value));
    }
    return lines;
}

// The summary ends the report with `status` and `pass`, names every section that began, and
// counts per section and action exactly the object lines above it.
void ExpectSummaryOfTheLines(const std::vector<JsonValue>& lines, const std::string& status,
                             const std::string& pass, const std::vector<std::string>& sections) {
    ASSERT_FALSE(lines.empty());
    const JsonValue& last = lines.back();
    const JsonValue* summary = last.Find("summary");
    ASSERT_NE(summary, nullptr) << "the last line is no summary";
    EXPECT_EQ(last.Find("status")->text, status);
    EXPECT_EQ(last.Find("pass")->text, pass);
    EXPECT_FALSE(last.Find("dryRun")->boolean);

    std::map<std::string, std::map<std::string, int>> counted;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        for (const char* key : kObjectKeys) {
            EXPECT_NE(lines[i].Find(key), nullptr) << "line " << i + 1 << " has no " << key;
        }
        if (lines[i].Find("section") != nullptr && lines[i].Find("action") != nullptr) {
            ++counted[lines[i].Find("section")->text][lines[i].Find("action")->text];
        }
    }
    for (const std::string& section : sections) {
        EXPECT_NE(summary->Find(section), nullptr) << section << " is missing from the summary";
    }
    for (const auto& [section, counts] : summary->members) {
        for (const char* action : kActions) {
            const JsonValue* count = counts.Find(action);
            ASSERT_NE(count, nullptr) << section << " has no count of " << action;
            EXPECT_EQ(count->text, std::to_string(counted[section][action]))
                << section << " " << action;
        }
        counted.erase(section);
    }
    EXPECT_TRUE(counted.empty()) << "object lines of a section the summary does not name";
}

class ReportLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    KvTest::ProcessResult Run(const std::vector<std::string>& arguments) const {
        return KvTest::RunProgram(KV_BINARY_PATH, arguments);
    }

    std::vector<std::string> Import(const std::string& file, const std::string& report) const {
        return {"-im", file, "-lds", lab.Value("KV_LAB_DST_PORTS"), "-report", report};
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(ReportLabTest, BothPassesReportEveryObjectAndEndWithTheirCounts) {
    lab.Reset({"dst-sd", "dst-gc"});
    const std::string file = dir.File("migration.xml");
    KvTest::ProcessResult exported = Run(
        {"-ex", file, "-lds", lab.Value("KV_LAB_SRC_PORTS"), "-report", dir.File("export.jsonl")});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    const std::vector<JsonValue> exportLines = ReadReport(dir.File("export.jsonl"));
    ExpectSummaryOfTheLines(exportLines, "0", "export",
                            {"Mapping", "Common", "Oms", "Client", "ICheck"});
    for (size_t i = 0; i + 1 < exportLines.size(); ++i) {
        EXPECT_NE(exportLines[i].Find("action")->text, "created") << "an export creates nothing";
    }

    KvTest::ProcessResult imported = Run(Import(file, dir.File("import.jsonl")));
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    ExpectSummaryOfTheLines(ReadReport(dir.File("import.jsonl")), "0", "import",
                            {"Mapping", "Common", "Oms", "Client", "ICheck"});
}

TEST_F(ReportLabTest, AnImportThatFailsPartWayStillEndsWithTheSummaryOfWhatItDid) {
    lab.Reset({"dst-sd", "dst-gc"});
    const std::string file = dir.File("migration.xml");
    KvTest::ProcessResult exported = Run({"-ex", file, "-lds", lab.Value("KV_LAB_SRC_PORTS")});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    const std::string whole = KvTest::ReadFile(file);
    const size_t begin = whole.find("<Client");
    const size_t end = whole.find("</Client>");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    KvTest::WriteFile(dir.File("cut.xml"),
                      whole.substr(0, whole.find('\n', (begin + end) / 2) + 1));

    KvTest::ProcessResult cut = Run(Import(dir.File("cut.xml"), dir.File("cut.jsonl")));
    EXPECT_EQ(cut.status, 255) << cut.out << cut.err;
    ExpectSummaryOfTheLines(ReadReport(dir.File("cut.jsonl")), "255", "import",
                            {"Mapping", "Common", "Oms", "Client"});
    lab.Reset({"dst-sd", "dst-gc"});
}

}  // namespace
