// The summary after each pass and the progress of long passes, through the real binary against
// the lab, with standard output and standard error captured apart: the summary comes after the
// pass's own lines on standard output, before the success line or ahead of the failure, and its
// counts agree with what the pass did; progress never changes a line of the run.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"
#include "support/TerminalProcess.h"
#include "support/TextParts.h"

namespace {

using KvTest::Lines;

using KvTest::Lab;
using KvTest::ProcessResult;

const std::string kSuccess = "The program was successfully completed.\n";
const std::vector<std::string> kSections = {"Mapping", "Common", "Oms", "Client", "ICheck"};

// The summary as printed: its heading, each section's counts by action, and the lines after
// the sections (the file, the pointer to the report).
struct Summary {
    std::string heading;
    std::vector<std::string> order;
    std::map<std::string, std::map<std::string, uint64_t>> counts;
    std::vector<std::string> after;
    std::string text;  // every line of it, as printed

    uint64_t Count(const std::string& section, const std::string& action) const {
        auto found = counts.find(section);
        if (found == counts.end()) {
            ADD_FAILURE() << "no summary line for " << section << ":\n" << text;
            return 0;
        }
        auto count = found->second.find(action);
        return count == found->second.end() ? 0 : count->second;
    }
};

// The summary that begins with `heading` in a run's standard output.
Summary SummaryOf(const std::string& out, const std::string& heading) {
    Summary summary;
    const std::vector<std::string> lines = Lines(out);
    size_t i = 0;
    while (i < lines.size() && lines[i] != heading) {
        ++i;
    }
    if (i == lines.size()) {
        ADD_FAILURE() << "no \"" << heading << "\" in:\n" << out;
        return summary;
    }
    summary.heading = lines[i];
    summary.text = lines[i] + "\n";
    for (++i; i < lines.size() && lines[i].rfind("  ", 0) == 0; ++i) {
        summary.text += lines[i] + "\n";
        std::istringstream fields(lines[i]);
        std::string section;
        fields >> section;
        summary.order.push_back(section);
        std::string action;
        uint64_t count = 0;
        while (fields >> action >> count) {
            summary.counts[section][action] = count;
        }
    }
    for (; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("File: ", 0) != 0 && line.rfind("-report ", 0) != 0 &&
            line.rfind("The report ", 0) != 0) {
            break;
        }
        summary.text += line + "\n";
        summary.after.push_back(line);
    }
    return summary;
}

// What a terminal shows of its screen: a carriage return starts the row again, later bytes
// overwrite earlier ones, and trailing blanks are invisible.
std::vector<std::string> Rendered(const std::string& screen) {
    std::vector<std::string> rows;
    std::string row;
    size_t column = 0;
    auto finish = [&] {
        row.erase(row.find_last_not_of(' ') + 1);
        rows.push_back(row);
        row.clear();
        column = 0;
    };
    for (char c : screen) {
        if (c == '\n') {
            finish();
        } else if (c == '\r') {
            column = 0;
        } else {
            if (column < row.size()) {
                row[column] = c;
            } else {
                row.push_back(c);
            }
            ++column;
        }
    }
    if (!row.empty()) {
        finish();
    }
    return rows;
}

// The migration file with `users` more users in its Client section.
std::string WithGeneratedUsers(const std::string& file, int users) {
    std::string records;
    for (int i = 0; i < users; ++i) {
        records += "        <person orvexKVUserAccessLevel=\"1\">S-1-5-21-1-2-3-" +
                   std::to_string(200000 + i) + "</person>\n";
    }
    const size_t at = file.find("      </Users>");
    return at == std::string::npos ? file : file.substr(0, at) + records + file.substr(at);
}

class SummaryLabTest : public testing::Test {
protected:
    void SetUp() override {
        KV_REQUIRE_LAB();
        // The counts below assume the seed: a benchmark's batch left in the source would make
        // every pass many times longer.
        static const bool seeded = [this] {
            lab.Reset({"ad", "src-sd", "src-gc"});
            return true;
        }();
        (void)seeded;
        lab.Reset({"dst-sd", "dst-gc"});
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    std::vector<std::string> ExportArguments(const std::string& path) const {
        return {"-ex", path, "-rmf", "-lds", lab.Value("KV_LAB_SRC_PORTS")};
    }
    ProcessResult Export(const std::string& path) const {
        return KvTest::RunProgram(KV_BINARY_PATH, ExportArguments(path));
    }
    ProcessResult Import(const std::string& path, std::vector<std::string> more = {}) const {
        std::vector<std::string> arguments = {"-im", path, "-lds", lab.Value("KV_LAB_DST_PORTS")};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return KvTest::RunProgram(KV_BINARY_PATH, arguments);
    }

    // The summary is the last thing on standard output before the success line (and the dry
    // run's closing line), and nothing of it reaches standard error.
    static void ExpectSummaryLast(const ProcessResult& result, const Summary& summary,
                                  const std::string& closing = "") {
        ASSERT_FALSE(summary.text.empty());
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        const std::string tail = summary.text + closing + kSuccess;
        ASSERT_GE(result.out.size(), tail.size()) << result.out;
        EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail) << result.out;
        EXPECT_EQ(result.err.find(summary.heading), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("  Oms "), std::string::npos) << result.err;
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
    const std::string file = dir.File("export.xml");
};

TEST_F(SummaryLabTest, ExportAndImportEndWithTheirCountsOnStandardOutput) {
    ProcessResult exported = Export(file);
    const Summary exportSummary = SummaryOf(exported.out, "Export summary:");
    ExpectSummaryLast(exported, exportSummary);
    EXPECT_EQ(exportSummary.order, kSections);
    for (const char* section : {"Oms", "Client", "ICheck"}) {
        EXPECT_GT(exportSummary.Count(section, "exported"), 0u) << section;
    }
    const std::string fileLine =
        "File: " + file + ", " + std::to_string(std::filesystem::file_size(file)) + " bytes";
    ASSERT_FALSE(exportSummary.after.empty());
    EXPECT_EQ(exportSummary.after.front(), fileLine);
    // The seed holds objects an export leaves out; the last line says where they are named.
    EXPECT_EQ(exportSummary.after.back(), "-report <file> names each skipped and failed object.");

    ProcessResult dryRun = Import(file, {"-n"});
    const Summary drySummary =
        SummaryOf(dryRun.out, "Dry-run summary (what the import would do; nothing was written):");
    ExpectSummaryLast(dryRun, drySummary, "Dry run: nothing was written to the directory.\n");

    ProcessResult imported = Import(file);
    const Summary importSummary = SummaryOf(imported.out, "Import summary:");
    ExpectSummaryLast(imported, importSummary);
    EXPECT_EQ(importSummary.order, kSections);
    for (const char* section : {"Oms", "Client", "ICheck"}) {
        SCOPED_TRACE(section);
        EXPECT_GT(importSummary.Count(section, "created") + importSummary.Count(section, "updated"),
                  0u);
        EXPECT_EQ(importSummary.Count(section, "failed"), 0u);
    }
    // The import accounts for each client record the export wrote, once.
    EXPECT_EQ(importSummary.Count("Client", "created") + importSummary.Count("Client", "updated") +
                  importSummary.Count("Client", "skipped") +
                  importSummary.Count("Client", "failed"),
              exportSummary.Count("Client", "exported"))
        << exportSummary.text << importSummary.text;
    // The dry run counted what the import then did.
    EXPECT_EQ(drySummary.counts, importSummary.counts) << drySummary.text << importSummary.text;

    // Everything is marked as migrated now: a second import writes no new object.
    ProcessResult again = Import(file);
    const Summary againSummary = SummaryOf(again.out, "Import summary:");
    ExpectSummaryLast(again, againSummary);
    for (const char* section : {"Oms", "Client"}) {
        SCOPED_TRACE(section);
        EXPECT_EQ(againSummary.Count(section, "created"), 0u) << againSummary.text;
        EXPECT_GT(againSummary.Count(section, "skipped"), 0u) << againSummary.text;
    }
    EXPECT_NE(std::find(againSummary.after.begin(), againSummary.after.end(),
                        "-report <file> names each skipped and failed object."),
              againSummary.after.end())
        << againSummary.text;
}

TEST_F(SummaryLabTest, AFailedImportShowsHowFarItGotBeforeTheFailure) {
    ASSERT_EQ(Export(file).status, 0);
    const std::string exported = KvTest::ReadFile(file);
    struct Case {
        const char* title;
        std::string bytes;
        std::vector<std::string> sections;  // those that began before the failure
    };
    const size_t schema = exported.find(" minor=\"16\"");
    const size_t cut = exported.find("<Client>");
    ASSERT_NE(schema, std::string::npos);
    ASSERT_NE(cut, std::string::npos);
    const std::vector<Case> cases = {
        // Raised by the Oms section as it begins, while the file is read: the reader ends the run
        // itself.
        {"a broken schema version",
         exported.substr(0, schema) + exported.substr(schema + 11),
         {"Mapping", "Common", "Oms"}},
        // Found once the reading stops: the pass ends the run.
        {"a file cut at the start of the client section",
         exported.substr(0, exported.find('\n', cut) + 1),
         {"Mapping", "Common", "Oms", "Client"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string path = dir.File("damaged.xml");
        KvTest::WriteFile(path, c.bytes);
        ProcessResult result = Import(path);
        EXPECT_EQ(result.status, 255) << result.out << result.err;
        const Summary summary = SummaryOf(result.out, "Import summary up to the failure:");
        EXPECT_EQ(summary.order, c.sections) << summary.text;
        // The failure's lines stay the last of the run, on standard error alone.
        EXPECT_EQ(result.out.substr(result.out.size() - summary.text.size()), summary.text)
            << result.out;
        EXPECT_EQ(result.err.find("summary"), std::string::npos) << result.err;
        lab.Reset({"dst-sd", "dst-gc"});
    }
}

TEST_F(SummaryLabTest, ALongSectionShowsOneLinePerHundredObjectsWhenNotOnATerminal) {
    ASSERT_EQ(Export(file).status, 0);
    const std::string big = dir.File("big.xml");
    KvTest::WriteFile(big, WithGeneratedUsers(KvTest::ReadFile(file), 250));
    ProcessResult result = Import(big);
    const Summary summary = SummaryOf(result.out, "Import summary:");
    ExpectSummaryLast(result, summary);
    ASSERT_GE(summary.Count("Client", "created"), 250u) << summary.text;
    // Every hundredth object of each section, in the order of the sections.
    std::vector<std::string> expected;
    for (const std::string& section : summary.order) {
        uint64_t objects = 0;
        for (const auto& [action, count] : summary.counts.at(section)) {
            objects += count;
        }
        for (uint64_t n = 100; n <= objects; n += 100) {
            expected.push_back(section + ": " + std::to_string(n) + " objects...");
        }
    }
    std::vector<std::string> progress;
    for (const std::string& line : Lines(result.out)) {
        if (line.find(" objects...") != std::string::npos) {
            progress.push_back(line);
        }
    }
    EXPECT_EQ(progress, expected) << result.out;
    EXPECT_EQ(result.err.find("objects..."), std::string::npos) << result.err;
}

TEST_F(SummaryLabTest, OnATerminalTheProgressLineIsBlankedBeforeEveryOtherLine) {
    KvTest::TerminalOptions options;
    options.environment = {{"NO_COLOR", "1"}};
    options.timeoutSeconds = 120;
    std::vector<std::string> arguments = ExportArguments(file);
    for (const std::string& argument :
         {std::string("-srv"), lab.Value("KV_LAB_LDS_HOST"), std::string("-dc"),
          lab.Value("KV_LAB_AD"), std::string("-oms"), lab.Value("KV_LAB_OMS_SID"),
          std::string("-cr"), lab.Credentials()}) {
        arguments.push_back(argument);
    }
    KvTest::TerminalResult terminal = KvTest::RunOnTerminal(KV_BINARY_PATH, arguments, options);
    ASSERT_FALSE(terminal.timedOut);
    EXPECT_EQ(terminal.status, 0) << terminal.screen;
    EXPECT_EQ(terminal.screen.find(lab.Value("KV_LAB_PASSWORD")), std::string::npos);
    EXPECT_NE(terminal.screen.find("\rOms: "), std::string::npos)
        << "no progress line was shown: " << terminal.screen;

    // Each row shows exactly the text written to it last, with nothing of a progress line
    // peeking out behind it, and no row is left with a progress line.
    const std::regex status("^(Mapping|Common|Oms|Client|ICheck): [0-9]+ objects? \\(.*");
    const std::vector<std::string> shown = Rendered(terminal.screen);
    std::istringstream raw(terminal.screen);
    size_t row = 0;
    for (std::string line; std::getline(raw, line); ++row) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // the terminal's own line end
        }
        std::string last =
            line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1);
        last.erase(last.find_last_not_of(' ') + 1);
        ASSERT_LT(row, shown.size());
        EXPECT_EQ(shown[row], last) << "row " << row;
        EXPECT_FALSE(std::regex_match(shown[row], status)) << shown[row];
    }
    std::string rows;
    for (const std::string& text : shown) {
        rows += text + "\n";
    }
    const Summary summary = SummaryOf(rows, "Export summary:");
    EXPECT_EQ(summary.order, kSections) << rows;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back() + "\n", kSuccess);
}

}  // namespace
