// The dry run of an import through the real binary against the lab's target pair: it reads and
// lists everything a real import would write, and writes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TargetDump.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

const char* const kEnd =
    "Dry run: nothing was written to the directory.\n"
    "The program was successfully completed.\n";

// The listed writes of one section: the "  Would ..." lines from its heading to the next heading
// or the summary; the section's own lines come between them as the writes happen.
std::vector<std::string> SectionLines(const std::string& out, const std::string& section) {
    std::vector<std::string> lines;
    const std::string heading = "Dry run of the " + section + " section:\n";
    for (size_t at = out.find(heading); at != std::string::npos; at = out.find(heading, at)) {
        at += heading.size();
        while (at < out.size() && out.compare(at, 15, "Dry run of the ") != 0 &&
               out.compare(at, 15, "Dry-run summary") != 0) {
            const size_t end = std::min(out.find('\n', at), out.size());
            if (out.compare(at, 8, "  Would ") == 0) {
                lines.push_back(out.substr(at, end - at));
            }
            at = end + 1;
        }
    }
    return lines;
}

size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t count = 0;
    for (const std::string& line : lines) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

class DryRunLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    KvTest::ProcessResult Run(std::vector<std::string> arguments) const {
        return KvTest::RunProgram(KV_BINARY_PATH, std::move(arguments));
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(DryRunLabTest, ListsWhatAnImportWouldWriteAndWritesNothing) {
    const std::string file = dir.File("migration.xml");
    lab.Reset({"dst-sd", "dst-gc"});
    KvTest::ProcessResult exported =
        Run({"-ex", file, "-rmf", "-lds", lab.Value("KV_LAB_SRC_PORTS")});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    const std::vector<std::string> import = {"-im", file, "-lds", lab.Value("KV_LAB_DST_PORTS")};

    const std::string reset = KvTest::TargetDump(lab);
    std::vector<std::string> dry = import;
    dry.push_back("-n");
    KvTest::ProcessResult first = Run(dry);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_EQ(KvTest::TargetDump(lab), reset) << "a dry run changed the target";
    ASSERT_GE(first.out.size(), std::string(kEnd).size());
    EXPECT_EQ(first.out.substr(first.out.size() - std::string(kEnd).size()), kEnd) << first.out;

    // Into a reset target every section makes objects: the server's policies and the
    // containers that link them, the users and their tokens, the integrity-check model.
    const std::vector<std::string> oms = SectionLines(first.out, "Oms");
    EXPECT_GT(CountStarting(oms, "  Would create orvexKVPolicyObject "), 0u) << first.out;
    EXPECT_GT(CountStarting(oms, "  Would create organizationalUnit "), 0u) << first.out;
    EXPECT_GT(CountStarting(oms, "  Would update orvexKVOMS "), 0u) << first.out;
    EXPECT_GT(CountStarting(oms, "  Would relink "), 0u) << first.out;
    EXPECT_GT(CountStarting(SectionLines(first.out, "Client"), "  Would create "), 0u) << first.out;
    const std::vector<std::string> icheck = SectionLines(first.out, "ICheck");
    EXPECT_GT(CountStarting(icheck, "  Would create "), 0u) << first.out;

    // The real import then does what the dry run listed, and a forced dry run over its result
    // leaves that as it is too.
    KvTest::ProcessResult imported = Run(import);
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    EXPECT_EQ(imported.out.find("Would "), std::string::npos) << imported.out;
    EXPECT_EQ(imported.out.find("Dry run"), std::string::npos) << imported.out;
    const std::string migrated = KvTest::TargetDump(lab);
    ASSERT_NE(migrated, reset);

    dry.push_back("-fi");
    KvTest::ProcessResult forced = Run(dry);
    ASSERT_EQ(forced.status, 0) << forced.out << forced.err;
    EXPECT_EQ(KvTest::TargetDump(lab), migrated) << "a forced dry run changed the target";
    EXPECT_EQ(forced.out.substr(forced.out.size() - std::string(kEnd).size()), kEnd) << forced.out;
    const std::vector<std::string> forcedOms = SectionLines(forced.out, "Oms");
    EXPECT_GT(CountStarting(forcedOms, "  Would delete orvexKVPolicyObject "), 0u) << forced.out;
    EXPECT_GT(CountStarting(forcedOms, "  Would create orvexKVPolicyObject "), 0u) << forced.out;
    EXPECT_GT(CountStarting(SectionLines(forced.out, "ICheck"), "  Would delete "), 0u)
        << forced.out;
}

}  // namespace
