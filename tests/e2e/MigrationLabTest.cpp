// A complete migration of each of the lab's old storages into a freshly reset target pair,
// through the real binary with every section: the target's partitions afterwards against an
// expected dump, and re-runs with and without -fi.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "TargetDump.h"
#include "support/Golden.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

const char* const kSuccess = "The program was successfully completed.\n";

// The policy numbers of a dump left out.
std::string WithoutPolicyVersions(const std::string& dump) {
    static const std::regex version("\norvexKVPolicyVersion: [0-9]+");
    return std::regex_replace(dump, version, "");
}

class MigrationLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    KvTest::ProcessResult Run(const std::vector<std::string>& arguments) const {
        return KvTest::RunProgram(KV_BINARY_PATH, arguments);
    }

    std::string TargetDump() const { return KvTest::TargetDump(lab); }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(MigrationLabTest, EachOldStorageMigratesCompletelyAndReRunsConverge) {
    struct Case {
        const char* title;
        std::vector<std::string> storage;
        std::string golden;
        std::string forcedGolden;
    };
    const std::vector<Case> cases = {
        {"AD LDS pair", {"-lds", lab.Value("KV_LAB_SRC_PORTS")}, "e2e-lds.ldif", "e2e-lds-fi.ldif"},
        {"Active Directory", {"-ad"}, "e2e-ad.ldif", "e2e-ad-fi.ldif"},
    };
    const std::string file = dir.File("migration.xml");
    const std::vector<std::string> import = {"-im", file, "-lds", lab.Value("KV_LAB_DST_PORTS")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        lab.Reset({"dst-sd", "dst-gc"});
        std::vector<std::string> exportArguments = {"-ex", file, "-rmf"};
        exportArguments.insert(exportArguments.end(), c.storage.begin(), c.storage.end());
        KvTest::ProcessResult exported = Run(exportArguments);
        ASSERT_EQ(exported.status, 0) << exported.out << exported.err;

        KvTest::ProcessResult imported = Run(import);
        ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
        EXPECT_NE(imported.out.find(kSuccess), std::string::npos) << imported.out;
        const std::string migrated = TargetDump();
        KvTest::ExpectGolden(migrated, std::string(KV_GOLDEN_DIR) + "/" + c.golden);

        KvTest::ProcessResult again = Run(import);
        EXPECT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_EQ(TargetDump(), migrated) << "a re-run without -fi changed the target";

        // A forced import writes again what the target's earlier migration had marked, and
        // rebuilds every container's policies numbered above the ones it replaces; a second one
        // then changes nothing but those numbers.
        std::vector<std::string> forced = import;
        forced.push_back("-fi");
        KvTest::ProcessResult force = Run(forced);
        EXPECT_EQ(force.status, 0) << force.out << force.err;
        const std::string rewritten = TargetDump();
        KvTest::ExpectGolden(rewritten, std::string(KV_GOLDEN_DIR) + "/" + c.forcedGolden);
        KvTest::ProcessResult forceAgain = Run(forced);
        EXPECT_EQ(forceAgain.status, 0) << forceAgain.out << forceAgain.err;
        EXPECT_EQ(WithoutPolicyVersions(TargetDump()), WithoutPolicyVersions(rewritten))
            << "a second run with -fi did not converge";
    }
}

}  // namespace
