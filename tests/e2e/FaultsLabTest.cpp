// Faults a migration has to survive, through the real binary against the lab: each run ends with
// its reason on standard error, status 255 and no claim of success, and leaves a state from which
// running again completes the migration: the target then holds what a clean import of the same
// file gives.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TargetDump.h"
#include "support/LabOperator.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"
#include "support/TerminalProcess.h"
#include "support/TextParts.h"

namespace {

using KvTest::Count;

using KvTest::Lab;
using KvTest::ProcessResult;

const std::string kSuccess = "The program was successfully completed.";

// What every fault must end with: the reason on standard error (red on a terminal), status 255,
// and nothing that reads as a success.
void ExpectFailedRun(const ProcessResult& result, const std::string& reason) {
    EXPECT_EQ(result.status, 255) << result.out << result.err;
    EXPECT_EQ(result.out.find(kSuccess), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
}

// The migration file of the source pair with `users` more users in its Client section, so that
// their import takes seconds and the target can be stopped in the middle of it.
std::string WithGeneratedUsers(const std::string& file, int users) {
    std::string records;
    for (int i = 0; i < users; ++i) {
        records += "        <person orvexKVUserAccessLevel=\"1\">" +
                   std::string("S-1-5-21-1-2-3-") + std::to_string(100000 + i) + "</person>\n";
    }
    const size_t at = file.find("      </Users>");
    return at == std::string::npos ? file : file.substr(0, at) + records + file.substr(at);
}

// The process of a lab instance as its pid file records it ("pid start-time"), or 0 when the
// recorded process is gone: the start time tells it from a later process with the same pid.
pid_t RecordedPid(const std::string& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    std::string start;
    if (!(in >> pid >> start) || pid <= 0) {
        return 0;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(") ");
    if (end == std::string::npos) {
        return 0;
    }
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    std::vector<std::string> values;
    while (fields >> field) {
        values.push_back(field);
    }
    // The state is the first field after the name, the start time the twentieth; a zombie is gone.
    if (values.size() < 20 || values[0] == "Z" || values[19] != start) {
        return 0;
    }
    return pid;
}

// A small file system mounted over a folder for one test, unmounted when it ends.
class ScopedMount {
public:
    ScopedMount(const std::string& folder, unsigned long flags, const std::string& options)
        : folder_(folder) {
        std::filesystem::create_directories(folder);
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", flags, options.c_str()) == 0;
    }
    ~ScopedMount() {
        if (mounted_) {
            umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool Mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

class FaultsLabTest : public testing::Test {
protected:
    void SetUp() override {
        KV_REQUIRE_LAB();
        lab.Reset({"dst-sd", "dst-gc"});
        ProcessResult result = Export(file);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        exported = KvTest::ReadFile(file);
    }
    // Whatever a test did to the target pair (an instance stopped, objects written), the tests
    // after it find it seeded and running.
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    ProcessResult Export(const std::string& path) {
        return KvTest::RunProgram(KV_BINARY_PATH,
                                  {"-ex", path, "-rmf", "-lds", lab.Value("KV_LAB_SRC_PORTS")});
    }
    ProcessResult Import(const std::string& path, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"-im", path, "-lds", lab.Value("KV_LAB_DST_PORTS")};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return KvTest::RunProgram(KV_BINARY_PATH, arguments);
    }
    std::string Dump() const { return KvTest::TargetDump(lab); }

    // The target after a clean import of `path` into the seeded pair: what a re-run after a fault
    // must end with. The pair is seeded again afterwards.
    std::string CleanImportDump(const std::string& path) {
        ProcessResult clean = Import(path);
        EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
        std::string dump = Dump();
        lab.Reset({"dst-sd", "dst-gc"});
        return dump;
    }

    // A re-run of the same import with the same keys ends as a success and leaves the target as
    // a clean import does.
    void ExpectRerunCompletes(const std::string& path, const std::string& expected) {
        ProcessResult again = Import(path);
        EXPECT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_NE(again.out.find(kSuccess), std::string::npos) << again.out;
        EXPECT_EQ(Dump(), expected) << "the re-run did not complete the migration";
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
    const std::string file = dir.File("export.xml");
    std::string exported;
};

TEST_F(FaultsLabTest, TheTargetStoppedPartWayThroughAnImportIsCompletedByARerun) {
    const std::string big = dir.File("big.xml");
    KvTest::WriteFile(big, WithGeneratedUsers(exported, 1000));
    const std::string expected = CleanImportDump(big);

    // Stopped once the twentieth generated user is written: the Oms section is done by then, the
    // Client section has most of its records still to write.
    const std::string pidFile = lab.Value("KV_LAB_HOME") + "/pids/dst-sd.pid";
    const std::string watched =
        "CN=S-1-5-21-1-2-3-100020,CN=Users," + lab.Value("KV_LAB_DST_SD_NC");
    std::atomic<bool> done{false};
    std::atomic<pid_t> stopped{0};
    std::thread watcher([&] {
        while (!done) {
            ProcessResult found = KvTest::RunProcess(
                "/usr/bin/ldapsearch",
                {"-LLL", "-x", "-ZZ", "-H", "ldap://" + lab.Value("KV_LAB_DST_SD"), "-D",
                 lab.Value("KV_LAB_USER"), "-y", lab.Value("KV_LAB_PASSWORD_FILE"), "-b", watched,
                 "-s", "base", "dn"},
                {}, 10);
            if (found.status == 0) {
                if (pid_t pid = RecordedPid(pidFile); pid > 0 && kill(pid, SIGTERM) == 0) {
                    stopped = pid;
                }
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    ProcessResult cut = Import(big);
    done = true;
    watcher.join();
    ASSERT_NE(stopped, 0) << "dst-sd was not stopped during the import\n" << cut.out << cut.err;
    for (int i = 0; i < 100 && RecordedPid(pidFile) == stopped; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The Client section stops at the first record the target could not take, and the run ends
    // there, saying what was imported.
    ExpectFailedRun(cut, "The connection to the target was lost during the client objects import");
    EXPECT_NE(cut.out.find("Servers 1\n"), std::string::npos) << cut.out;
    EXPECT_EQ(Count(cut.out, "import finished with error:  The specified server cannot perform"),
              1u)
        << cut.out;
    EXPECT_EQ(cut.out.find("Imported  1001  users"), std::string::npos) << cut.out;

    ProcessResult started = KvTest::RunProcess(std::string(KV_LAB_DIR) + "/start", {"dst-sd"});
    ASSERT_EQ(started.status, 0) << started.err;
    ExpectRerunCompletes(big, expected);
}

// Directory servers close connections that stay idle too long (15 minutes by default), and a long
// import leaves its Active Directory session idle while it writes the target. A server restarted
// under an open session closes it the same way.
TEST_F(FaultsLabTest, ASessionWhoseServerClosedItIsOpenedAgainForItsNextSearch) {
    LdapHelper::session_ptr session = lab.OpenAdNew();
    const std::string pidFile = lab.Value("KV_LAB_HOME") + "/pids/ad-new.pid";
    const pid_t pid = RecordedPid(pidFile);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    for (int i = 0; i < 100 && RecordedPid(pidFile) == pid; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ProcessResult started = KvTest::RunProcess(std::string(KV_LAB_DIR) + "/start", {"ad-new"});
    ASSERT_EQ(started.status, 0) << started.err;
    LdapHelper::object_list found = session->search(
        LdapHelper::query(L"", LdapHelper::SCOPE_BASE, L"(objectClass=*)"), {L"name"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front()->dn(), session->default_naming_context());
}

TEST_F(FaultsLabTest, ASessionThatCannotBeOpenedOrWrittenChangesNothing) {
    const std::string seeded = Dump();
    const std::string expected = CleanImportDump(file);
    struct Case {
        const char* fault;
        std::vector<std::string> keys;
        std::string reason;
    };
    const std::string operatorLogin = "CORP\\kvoperator:" + lab.Value("KV_LAB_PASSWORD");
    const std::vector<Case> cases = {
        {"refused", {"-lds", "51090:51092"}, "Can't contact LDAP server"},
        {"wrong password",
         {"-cr", "CORP\\Administrator:not-the-lab-password"},
         "Invalid credentials"},
        {"no write rights", {"-cr", operatorLogin}, "Access is denied."},
    };
    KvTest::SetLabOperator(lab, true);
    struct DisableOperator {
        const Lab& lab;
        ~DisableOperator() { KvTest::SetLabOperator(lab, false); }
    } disable{lab};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::vector<std::string> arguments = {"-im", file};
        arguments.insert(arguments.end(), c.keys.begin(), c.keys.end());
        arguments.insert(arguments.end(), {"-lds", lab.Value("KV_LAB_DST_PORTS")});
        ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        ExpectFailedRun(result, c.reason);
        EXPECT_EQ(Dump(), seeded) << "the failed run wrote";
    }
    ExpectRerunCompletes(file, expected);
}

// The reason is what an administrator at a terminal sees in red, and the run waits for a key
// before it ends, as every failed run does there.
TEST_F(FaultsLabTest, TheReasonIsRedOnATerminal) {
    const char* noColor = std::getenv("NO_COLOR");
    const std::string savedNoColor = noColor != nullptr ? noColor : "";
    unsetenv("NO_COLOR");
    KvTest::TerminalOptions options;
    bool prompted = false;
    options.onScreen = [&](const std::string& screen, pid_t) {
        prompted = prompted || screen.find("Press any key") != std::string::npos;
        return std::string(prompted ? "k" : "");
    };
    options.timeoutSeconds = 60;
    KvTest::TerminalResult result = KvTest::RunOnTerminal(
        KV_BINARY_PATH,
        {"-im", file, "-lds", "51090:51092", "-srv", lab.Value("KV_LAB_LDS_HOST"), "-dc",
         lab.Value("KV_LAB_AD"), "-oms", lab.Value("KV_LAB_OMS_SID"), "-cr", lab.Credentials()},
        options);
    if (noColor != nullptr) {
        setenv("NO_COLOR", savedNoColor.c_str(), 1);
    }
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 255);
    EXPECT_TRUE(prompted) << result.screen;
    EXPECT_NE(result.screen.find("\033[91mThe specified server cannot perform the requested "
                                 "operation."),
              std::string::npos)
        << result.screen;
    EXPECT_EQ(result.screen.find(kSuccess), std::string::npos) << result.screen;
    EXPECT_EQ(result.screen.find(lab.Value("KV_LAB_PASSWORD")), std::string::npos)
        << "the password was shown";
}

TEST_F(FaultsLabTest, AnExportThatCannotBeWrittenLeavesNoFileThatLooksComplete) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small or read-only file system needs root";
    }
    struct Case {
        const char* fault;
        unsigned long flags;
        std::string options;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"full", 0, "size=16k", "There is not enough space on the disk."},
        {"read-only", MS_RDONLY, "size=1m", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const std::string folder = dir.File(c.fault);
        ScopedMount mounted(folder, c.flags, c.options);
        if (!mounted.Mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs on " << folder;
        }
        const std::string target = folder + "/export.xml";
        ProcessResult result = Export(target);
        ExpectFailedRun(result, c.reason);
        EXPECT_FALSE(result.err.empty());
        if (std::filesystem::exists(target)) {
            EXPECT_EQ(KvTest::ReadFile(target).find("</Korvant>"), std::string::npos)
                << "the file of a failed export looks complete";
        }
    }
    // The same export into a folder with room completes.
    const std::string again = dir.File("again.xml");
    ProcessResult result = Export(again);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    const std::string written = KvTest::ReadFile(again);
    EXPECT_EQ(written.substr(written.size() - std::min<size_t>(written.size(), 11)),
              "</Korvant>\n");
}

TEST_F(FaultsLabTest, AnOlderExportThatCannotBeReplacedStaysAndTheRunSaysSo) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a read-only file system needs root";
    }
    const std::string folder = dir.File("old");
    ScopedMount mounted(folder, 0, "size=1m");
    if (!mounted.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs on " << folder;
    }
    const std::string target = folder + "/export.xml";
    KvTest::WriteFile(target, "<Korvant>older export</Korvant>\n");
    ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    ProcessResult result = Export(target);
    ExpectFailedRun(result,
                    "The file \"" + target + "\" cannot be replaced: Read-only file system.");
    EXPECT_EQ(KvTest::ReadFile(target), "<Korvant>older export</Korvant>\n");
}

// The file as exported, cut after the line that holds the middle of one section's text.
std::string CutInTheMiddleOf(const std::string& file, const std::string& section) {
    const size_t begin = file.find("<" + section);
    const size_t end = file.find("</" + section + ">");
    if (begin == std::string::npos || end == std::string::npos) {
        return file;
    }
    return file.substr(0, file.find('\n', (begin + end) / 2) + 1);
}

TEST_F(FaultsLabTest, ACutFileNamesItsLastLineAndARerunWithTheWholeFileCompletes) {
    const std::string seeded = Dump();
    const std::string expected = CleanImportDump(file);
    struct Case {
        const char* section;
        bool writesBeforeTheCut;  // the sections before it write into the target
    };
    const std::vector<Case> cases = {
        {"Mapping", false}, {"Common", false}, {"Oms", false}, {"Client", true}, {"ICheck", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        const std::string cut = CutInTheMiddleOf(exported, c.section);
        ASSERT_LT(cut.size(), exported.size());
        const std::string path = dir.File(std::string("cut-") + c.section + ".xml");
        KvTest::WriteFile(path, cut);
        ProcessResult result = Import(path);
        const std::string line = "line " + std::to_string(Count(cut, "\n"));
        ExpectFailedRun(result, line);
        EXPECT_NE(result.err.find("not imported"), std::string::npos) << result.err;
        if (c.writesBeforeTheCut) {
            EXPECT_NE(result.out.find("Servers 1\n"), std::string::npos) << result.out;
        } else {
            EXPECT_EQ(Dump(), seeded) << "nothing before the cut writes";
        }
        ExpectRerunCompletes(file, expected);
        lab.Reset({"dst-sd", "dst-gc"});
    }
}

TEST_F(FaultsLabTest, ABrokenSchemaVersionImportsNothingAndSaysWhy) {
    const std::string seeded = Dump();
    const std::string expected = CleanImportDump(file);
    const size_t at = exported.find(" minor=\"16\"");
    ASSERT_NE(at, std::string::npos);
    const std::string broken = dir.File("broken.xml");
    KvTest::WriteFile(broken, exported.substr(0, at) + exported.substr(at + 11));
    ProcessResult result = Import(broken);
    ExpectFailedRun(result, "its SchemaVersion element at line ");
    EXPECT_NE(result.err.find(" lacks the attribute minor), so nothing from the Oms section on was "
                              "imported."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Dump(), seeded);
    ExpectRerunCompletes(file, expected);
}

TEST_F(FaultsLabTest, AnEditedNewNameThatNoComputerHasIsNamedAndTheRestIsImported) {
    const std::string expected = CleanImportDump(file);
    const std::string edited = dir.File("edited.xml");
    const std::string original = "newName=\"ws01.corp.local\"";
    const size_t at = exported.find(original);
    ASSERT_NE(at, std::string::npos);
    KvTest::WriteFile(edited, exported.substr(0, at) + "newName=\"nosuch.corp.local\"" +
                                  exported.substr(at + original.size()));
    ProcessResult result = Import(edited);
    ExpectFailedRun(result,
                    "The import is incomplete. No computer of the target domain has the "
                    "newName of 1 service(s) of the Mapping section "
                    "(\"nosuch.corp.local\")");
    EXPECT_NE(result.err.find("Object nosuch.corp.local not found in Active Directory"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.out.find("Clients 1\n"), std::string::npos) << result.out;
    // The administrator mends the name and runs the import again.
    ExpectRerunCompletes(file, expected);
}

}  // namespace
