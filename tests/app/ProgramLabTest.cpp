// What an administrator sees from the real binary against the directory lab, with both standard
// streams captured apart: a wrong password and a closed port named with the directory's own
// words, the password taken from a file or the terminal, and empty and cut migration files named
// as such before anything is imported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Lab.h"
#include "support/RunProcess.h"
#include "support/ScopedTempDir.h"
#include "support/TerminalProcess.h"

namespace {

using KvTest::Lab;

const std::string kRead = "The input parameters have been successfully read.\n";
const std::string kConnected = "Connection to the storage was successfully established.\n";

class ProgramLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    // An import into the target pair of the default domain; `login` and `keys` give the
    // credentials. Imports of the files below end before anything is written.
    std::vector<std::string> Import(const std::string& file, const std::string& ports,
                                    const std::string& credentials,
                                    std::vector<std::string> keys = {}) const {
        std::vector<std::string> arguments = {"-im",  file,
                                              "-lds", ports,
                                              "-srv", lab.Value("KV_LAB_LDS_HOST"),
                                              "-dc",  lab.Value("KV_LAB_AD"),
                                              "-oms", lab.Value("KV_LAB_OMS_SID"),
                                              "-cr",  credentials};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return arguments;
    }

    KvTest::ProcessResult Run(const std::vector<std::string>& arguments) const {
        KvTest::ProcessResult result = KvTest::RunProcess(KV_BINARY_PATH, arguments, {}, 300);
        EXPECT_FALSE(Shows(result.out) || Shows(result.err)) << "the password was printed";
        return result;
    }

    // Whether a text shows the lab's password; such a text is never printed by a test.
    bool Shows(const std::string& text) const {
        return text.find(lab.Value("KV_LAB_PASSWORD")) != std::string::npos;
    }

    std::string File(const std::string& name, const std::string& bytes) const {
        KvTest::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    std::string TraceLine() const {
        return "Trace file: " + lab.Value("KV_LAB_TRACE_DIR") + "/KvMigrationUtil.log\n";
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(ProgramLabTest, AWrongPasswordAndAClosedPortAreNamedWithTheDirectorysWords) {
    const std::string file = File("m.xml", "");
    const std::string admin = lab.Value("KV_LAB_USER");
    struct Case {
        const char* title;
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"a wrong password",
         Import(file, lab.Value("KV_LAB_DST_PORTS"), admin + ":not-the-password"),
         "Unable to update the password. The value provided as the current password is "
         "incorrect.\n"
         "Server: '" +
             lab.Value("KV_LAB_AD") + ":389' User: '" + admin +
             "' Error: Invalid credentials (0x31).\n"},
        {"nothing listening on the AD LDS port", Import(file, "51900:51902", lab.Credentials()),
         "The specified server cannot perform the requested operation.\n"
         "Server: '" +
             lab.Value("KV_LAB_LDS_HOST") + ":51900' User: '" + admin +
             "' Error: Can't contact LDAP server (0x51).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, kRead);
        EXPECT_EQ(result.err, c.err + TraceLine());
    }
}

TEST_F(ProgramLabTest, EmptyAndCutFilesAreNamedAsSuchAndNothingIsImported) {
    const std::string header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    // The sections that began before the damage show in the summary ahead of the failure.
    const std::string summary = "Import summary up to the failure:\n";
    const std::string counts = "  created 0  updated 0  skipped 0  failed 0\n";
    struct Case {
        const char* title;
        std::string bytes;
        std::string message;  // after the file's name
        std::string summary;
    };
    const Case cases[] = {
        {"an empty file", "", "\" is empty.", ""},
        {"only blank lines", "\n\n  \n", "\" is empty.", ""},
        {"cut inside the mapping", header + "<Korvant>\n<Config>\n<Mapping>\n<Service oldId=\"S-1",
         "\" ends at line 5 before the document is complete. The damage lies inside the Mapping "
         "section. These sections from that line on were not imported: Common, Oms, Client, "
         "ICheck.",
         summary + "  Mapping" + counts},
        {"cut after the common information",
         header + "<Korvant>\n<Config>\n<Mapping/>\n<Common/>\n</Config>\n<Data>\n",
         "\" ends at line 7 before the document is complete. These sections from that line on "
         "were not imported: Oms, Client, ICheck.",
         summary + "  Mapping" + counts + "  Common " + counts},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string file = File("m.xml", c.bytes);
        KvTest::ProcessResult result =
            Run(Import(file, lab.Value("KV_LAB_DST_PORTS"), lab.Credentials(), {"-polices"}));
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, kRead + kConnected + c.summary);
        EXPECT_EQ(result.err,
                  "Unknown key \"-polices\" is ignored; did you mean \"-policies\"?\n"
                  "The file \"" +
                      file + c.message + "\n" + TraceLine());
    }
    // The parser's own words stay in the trace.
    const std::string trace =
        KvTest::ReadFile(lab.Value("KV_LAB_TRACE_DIR") + "/KvMigrationUtil.log");
    EXPECT_NE(trace.find("W> The file \"" + dir.File("m.xml") + "\" is damaged at line 7: "),
              std::string::npos);
}

// Another program's XML imports nothing and ends as a success, but says what it lacked.
TEST_F(ProgramLabTest, AForeignFileNamesTheSelectedSectionsItLacks) {
    const std::string file = File(
        "build.xml", "<?xml version=\"1.0\"?>\n<project name=\"kv\">\n<target/>\n</project>\n");
    struct Case {
        std::vector<std::string> keys;
        std::string absent;
    };
    const Case cases[] = {
        {{"-polices"}, "Oms (-server, -clients, -policies), Client (-users), ICheck (-icheck)"},
        {{"-users", "-icheck"}, "Client (-users), ICheck (-icheck)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.absent);
        KvTest::ProcessResult result =
            Run(Import(file, lab.Value("KV_LAB_DST_PORTS"), lab.Credentials(), c.keys));
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(result.out.rfind(kRead + kConnected, 0), 0u) << result.out;
        const std::string done = "The program was successfully completed.\n";
        ASSERT_GE(result.out.size(), done.size()) << result.out;
        EXPECT_EQ(result.out.substr(result.out.size() - done.size()), done) << result.out;
        const std::string unknown =
            c.keys.front() == "-polices"
                ? "Unknown key \"-polices\" is ignored; did you mean \"-policies\"?\n"
                : "";
        EXPECT_EQ(result.err, unknown + "The file \"" + file +
                                  "\" holds none of the selected sections: " + c.absent + ".\n");
    }
}

TEST_F(ProgramLabTest, ThePasswordComesFromAFileOrTheTerminalInsteadOfTheCommandLine) {
    const std::string file = File("m.xml", "");
    const std::string empty = "The file \"" + file + "\" is empty.\n";
    const std::string admin = lab.Value("KV_LAB_USER");

    // The lab's password file is owner-only; it replaces the password after "-cr".
    KvTest::ProcessResult fromFile =
        Run(Import(file, lab.Value("KV_LAB_DST_PORTS"), admin + ":not-the-password",
                   {"-y", lab.Value("KV_LAB_PASSWORD_FILE")}));
    EXPECT_EQ(fromFile.out, kRead + kConnected);
    EXPECT_EQ(fromFile.err, empty + TraceLine());

    KvTest::TerminalOptions options;
    options.environment = {{"NO_COLOR", "1"}};
    options.timeoutSeconds = 120;
    bool asked = false;
    options.onScreen = [&](const std::string& screen, pid_t) {
        if (!asked && screen.find("Password for " + admin + ": ") != std::string::npos) {
            asked = true;
            return lab.Value("KV_LAB_PASSWORD") + "\n";
        }
        return std::string(screen.find("Press any key") != std::string::npos ? "k" : "");
    };
    KvTest::TerminalResult typed = KvTest::RunOnTerminal(
        KV_BINARY_PATH, Import(file, lab.Value("KV_LAB_DST_PORTS"), admin, {"-W"}), options);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(typed.timedOut);
    ASSERT_FALSE(Shows(typed.screen)) << "the typed password was echoed";
    EXPECT_NE(typed.screen.find("Connection to the storage was successfully established."),
              std::string::npos)
        << typed.screen;
    EXPECT_NE(typed.screen.find("\" is empty."), std::string::npos) << typed.screen;

    const std::string trace =
        KvTest::ReadFile(lab.Value("KV_LAB_TRACE_DIR") + "/KvMigrationUtil.log");
    EXPECT_FALSE(Shows(trace)) << "the password reached the trace";
}

}  // namespace
