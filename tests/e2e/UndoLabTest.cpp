// The undo files of an import, through the real binary against the lab's target pair: applied
// with ldapmodify to the servers their first lines name, they bring both partitions back to
// what they held before the import.

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/Lab.h"
#include "support/LabDump.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

const char* const kSuccess = "The program was successfully completed.\n";

std::vector<std::string> UndoFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::erase_if(names, [](const std::string& name) { return name == "." || name == ".."; });
    std::sort(names.begin(), names.end());
    return names;
}

class UndoLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    // Both partitions of the target pair whole, without what the directory makes anew with
    // every entry (an entry added back has a new objectGUID and new time stamps) and its next
    // relative identifier, which never goes back: a SID once given out is not given again.
    std::string Dump() const {
        std::set<std::string> dropped = KvTest::GeneratedAttributes();
        dropped.insert("rIDNextRID");
        return KvTest::DumpPartition("51000", lab.Value("KV_LAB_DST_SD_NC"), dropped) +
               KvTest::DumpPartition("51002", lab.Value("KV_LAB_DST_GC_NC"), dropped);
    }

    // The source pair's export in `file`, with the target pair as the lab seeded it.
    void ExportIntoAResetTarget() const {
        lab.Reset({"dst-sd", "dst-gc"});
        KvTest::ProcessResult exported = KvTest::RunProgram(
            KV_BINARY_PATH, {"-ex", file, "-lds", lab.Value("KV_LAB_SRC_PORTS")});
        ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    }

    KvTest::ProcessResult Import(const std::string& undo, bool forced) const {
        std::vector<std::string> arguments = {"-im",   file, "-lds", lab.Value("KV_LAB_DST_PORTS"),
                                              "-undo", undo};
        if (forced) {
            // The server's privileges (its product security descriptor) are written as well.
            arguments.insert(arguments.end(), {"-fi", "-priv"});
        }
        return KvTest::RunProgram(KV_BINARY_PATH, arguments);
    }

    // Applies every file of the folder to the server its first line names.
    void Undo(const std::string& folder) const {
        const std::string host = lab.Value("KV_LAB_LDS_HOST");
        EXPECT_EQ(UndoFiles(folder),
                  (std::vector<std::string>{host + "_51000.ldif", host + "_51002.ldif"}));
        for (const std::string& name : UndoFiles(folder)) {
            SCOPED_TRACE(name);
            const std::string text = KvTest::ReadFile(folder + "/" + name);
            const std::string prefix = "# server: ";
            ASSERT_EQ(text.rfind(prefix, 0), 0u);
            const std::string server = text.substr(prefix.size(), text.find('\n') - prefix.size());
            EXPECT_EQ(server, "ldap://" + host + ":" + name.substr(name.find('_') + 1, 5));
            KvTest::ProcessResult applied = KvTest::RunProcess(
                "/usr/bin/ldapmodify",
                {"-c", "-x", "-ZZ", "-H", server, "-D", lab.Value("KV_LAB_USER"), "-y",
                 lab.Value("KV_LAB_PASSWORD_FILE"), "-f", folder + "/" + name},
                {}, 300);
            EXPECT_EQ(applied.status, 0) << applied.out << applied.err;
        }
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
    const std::string file = dir.File("migration.xml");
};

TEST_F(UndoLabTest, AnImportAndAForcedReImportAreUndoneToTheStatesBeforeThem) {
    ASSERT_NO_FATAL_FAILURE(ExportIntoAResetTarget());
    const std::string before = Dump();

    KvTest::ProcessResult first = Import(dir.File("first"), false);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find(kSuccess), std::string::npos) << first.out;
    const std::string imported = Dump();
    ASSERT_NE(imported, before);

    // Updates (the server's privileges among them), deletions of the containers' old policies,
    // the integrity-check model erased and written again.
    KvTest::ProcessResult forced = Import(dir.File("forced"), true);
    ASSERT_EQ(forced.status, 0) << forced.out << forced.err;
    ASSERT_NE(Dump(), imported);

    // A folder holding an earlier run's files is refused before anything is written.
    KvTest::ProcessResult again = Import(dir.File("first"), true);
    EXPECT_EQ(again.status, 255);
    EXPECT_NE(again.err.find("already holds \"" + lab.Value("KV_LAB_LDS_HOST")), std::string::npos)
        << again.err;
    EXPECT_EQ(again.out.find(kSuccess), std::string::npos);

    Undo(dir.File("forced"));
    EXPECT_EQ(Dump(), imported) << "the forced import was not undone";
    Undo(dir.File("first"));
    EXPECT_EQ(Dump(), before) << "the import was not undone";
}

// The run ends through the fatal output, which unwinds nothing: the files it leaves must still be
// the final ones, in the order that restores the state before the import.
TEST_F(UndoLabTest, AnImportThatFailsPartWayLeavesUndoFilesThatRestoreTheStateBeforeIt) {
    ASSERT_NO_FATAL_FAILURE(ExportIntoAResetTarget());
    const std::string before = Dump();

    // Cut in the middle of the Client section, after the Oms section has changed both instances.
    const std::string whole = KvTest::ReadFile(file);
    const size_t begin = whole.find("<Client");
    const size_t end = whole.find("</Client>");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    KvTest::WriteFile(file, whole.substr(0, whole.find('\n', (begin + end) / 2) + 1));

    KvTest::ProcessResult cut = Import(dir.File("cut"), false);
    ASSERT_EQ(cut.status, 255) << cut.out << cut.err;
    EXPECT_EQ(cut.out.find(kSuccess), std::string::npos);
    ASSERT_NE(Dump(), before);

    Undo(dir.File("cut"));
    EXPECT_EQ(Dump(), before) << "the failed import was not undone";
}

}  // namespace
