// What an administrator sees from the real binary, with both standard streams captured apart:
// failures on standard error with what failed and where the trace is, the other lines on
// standard output, --help and --version, unknown keys named, a trace that cannot be written said.
#include "app/ProgramFixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/TextParts.h"

namespace {

using KvTest::Count;

using ProgramOutputTest = KvTest::ProgramFixture;

const std::string kRead = "The input parameters have been successfully read.\n";

// Nothing listens on 127.0.0.9 and the .invalid domain never resolves, so these runs end at the
// domain controller, before any directory is written.
TEST_F(ProgramOutputTest, AFailedConnectionNamesTheServerTheLoginAndTheTrace) {
    struct Case {
        const char* title;
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        std::string detail;
    };
    const std::vector<Case> cases = {
        {"nothing listening on the host",
         {"-dc", "127.0.0.9"},
         {},
         "The specified server cannot perform the requested operation.\n"
         "Server: '127.0.0.9:389' User: 'CORP\\admin' Error: Can't contact LDAP server (0x51).\n"},
        {"a host name that does not resolve",
         {"-dc", "no-such-host.invalid"},
         {},
         "The specified server cannot perform the requested operation.\n"
         "Server: 'no-such-host.invalid:389' User: 'CORP\\admin' Error: Can't contact LDAP "
         "server (0x51).\n"},
        {"no domain controller in DNS",
         {},
         {{"LOCALDOMAIN", "nowhere.invalid"}, {"RES_OPTIONS", "timeout:1 attempts:1"}},
         "A directory service error has occurred.\n"
         "DsGetDcName error: The specified domain either does not exist or could not be "
         "contacted.\n"
         "No domain controller was found through the DNS SRV record "
         "\"_ldap._tcp.dc._msdcs.nowhere.invalid\"; name one with -dc.\n"},
        {"no DNS domain to look in",
         {},
         {{"LOCALDOMAIN", ""}},
         "A directory service error has occurred.\n"
         "DsGetDcName error: The specified domain either does not exist or could not be "
         "contacted.\n"
         "This computer has no DNS domain (\"domain\" or \"search\" in /etc/resolv.conf) in "
         "which to look for a domain controller; name one with -dc.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> arguments = {"-ex", "out.xml", "-lds", "-cr", "CORP\\admin:pw"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        auto result = Run(arguments, c.environment);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, kRead);
        EXPECT_EQ(result.err, c.detail + TraceLine());
    }
    // The library's own words stay in the trace.
    EXPECT_NE(Log().find("W> get_ADDC_server: no domain controller in the DNS SRV record "
                         "_ldap._tcp.dc._msdcs.nowhere.invalid\r\n"),
              std::string::npos);
}

TEST_F(ProgramOutputTest, HelpAndVersionAnswerOnStandardOutputWithStatusZero) {
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{"--help"}, Usage()},
        {{"--version"}, std::string("KvMigrationUtil ") + KV_PROJECT_VERSION + "\n"},
        {{"-im", "x.xml", "--version", "-polices"},
         std::string("KvMigrationUtil ") + KV_PROJECT_VERSION + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        auto result = Run(c.arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(ProgramOutputTest, HelpAndVersionNeverWaitForAKeyOnATerminal) {
    for (const char* key : {"--help", "--version"}) {
        SCOPED_TRACE(key);
        KvTest::TerminalOptions options;
        bool prompted = false;
        options.onScreen = [&](const std::string& screen, pid_t) {
            prompted = prompted || screen.find("Press any key") != std::string::npos;
            return std::string(prompted ? "k" : "");
        };
        KvTest::TerminalResult result = RunOnTerminal({key}, options);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 0);
        EXPECT_FALSE(prompted) << result.screen;
    }
}

TEST_F(ProgramOutputTest, EveryUnknownKeyIsNamedInOneYellowLineBeforeTheRunGoesOn) {
    auto result = Run({"-im", "none.xml", "-polices", "-frobnicate", "-w", "secret", "-Server",
                       std::string(100, 'x').insert(0, "-")});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, Usage());
    EXPECT_EQ(result.err,
              "Unknown key \"-Server\" is ignored; did you mean \"-server\"?\n"
              "Unknown key \"-frobnicate\" is ignored.\n"
              "Unknown key \"-polices\" is ignored; did you mean \"-policies\"?\n"
              "Unknown key \"-w\" is ignored; did you mean \"-W\"?\n"
              "Unknown key \"-" +
                  std::string(63, 'x') +
                  "...\" is ignored.\n"
                  "Can't find file with name \"" +
                  dir_.File("work/none.xml") + "\".\n" + TraceLine());
    const std::string log = Log();
    EXPECT_NE(log.find("Unknown key \"-polices\" is ignored; did you mean \"-policies\"?\r\n"),
              std::string::npos);
    // A value after ldapmodify's "-w" is taken for a password: never traced.
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_NE(log.find("-w <present> -Server"), std::string::npos);
}

TEST_F(ProgramOutputTest, ColoursGoWithTheStreamThatIsATerminal) {
    KvTest::TerminalOptions options;
    options.environment = Environment();
    options.environment.erase("NO_COLOR");
    options.workingFolder = dir_.File("work");
    options.onScreen = [](const std::string& screen, pid_t) {
        return std::string(screen.find("Press any key") != std::string::npos ? "k" : "");
    };
    KvTest::TerminalResult result =
        KvTest::RunOnTerminal(KV_BINARY_PATH, {"-im", "none.xml", "-polices"}, options);
    EXPECT_NE(result.screen.find("\033[33mUnknown key \"-polices\""), std::string::npos)
        << result.screen;
    EXPECT_NE(result.screen.find("\033[91mCan't find file with name"), std::string::npos)
        << result.screen;
    EXPECT_EQ(result.screen.find("\033[91mTrace file:"), std::string::npos) << result.screen;
}

TEST_F(ProgramOutputTest, ATraceThatCannotBeWrittenIsSaidOnceOnTheConsole) {
    std::filesystem::create_directories(dir_.File("linked"));
    ASSERT_EQ(
        symlink(dir_.File("elsewhere").c_str(), dir_.File("linked/KvMigrationUtil.log").c_str()),
        0);
    const std::string own =
        dir_.File("linked/KvMigrationUtil." + std::to_string(geteuid()) + ".log");
    struct Case {
        const char* title;
        std::string folder;
        std::string said;
        std::string last;
    };
    const Case cases[] = {
        {"a folder that cannot be made", "/proc/kv-no-such-folder",
         "The trace file /proc/kv-no-such-folder/KvMigrationUtil.log cannot be written (No such "
         "file or directory); this run leaves no trace.\n",
         "No trace file: /proc/kv-no-such-folder/KvMigrationUtil.log cannot be written (No such "
         "file or directory).\n"},
        {"a link at the log's name", dir_.File("linked"),
         "The log file " + dir_.File("linked/KvMigrationUtil.log") +
             " cannot be written by this user or is not a plain file; this run writes its "
             "trace to " +
             own + ".\n",
         "Trace file: " + own + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        WriteRegistry("\"TracePath\"=\"" + c.folder + "\"\r\n");
        auto result = Run({"-ex", "out.xml", "-lds", "-dc", "127.0.0.9", "-cr", "a:b"});
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, kRead);
        EXPECT_EQ(Count(result.err, c.said), 1u) << result.err;
        EXPECT_EQ(result.err.rfind(c.said, 0), 0u) << result.err;
        ASSERT_GE(result.err.size(), c.last.size());
        EXPECT_EQ(result.err.substr(result.err.size() - c.last.size()), c.last) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("elsewhere")));
}

// A user who may not write the log folder: only root can run the program as another user.
TEST_F(ProgramOutputTest, AReadOnlyTraceFolderIsSaidOnceForAnotherUser) {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv to run as a second user";
    }
    const std::string logs = dir_.File("readonly");
    std::filesystem::create_directories(logs);
    std::filesystem::permissions(dir_.Path(), std::filesystem::perms(0755));
    std::filesystem::permissions(dir_.File("work"), std::filesystem::perms(0777));
    std::filesystem::permissions(logs, std::filesystem::perms(0555));
    std::filesystem::permissions(dir_.File("registry.reg"), std::filesystem::perms(0644));
    WriteRegistry("\"TracePath\"=\"" + logs + "\"\r\n");
    auto result =
        KvTest::RunProcess("/usr/bin/setpriv",
                           {"--reuid=65534", "--regid=65534", "--clear-groups", KV_BINARY_PATH,
                            "-ex", "out.xml", "-lds", "-dc", "127.0.0.9", "-cr", "a:b"},
                           Environment(), 60, dir_.File("work"));
    if (result.err.find("failed to execute") != std::string::npos) {
        GTEST_SKIP() << "the binary is out of the second user's reach: " << result.err;
    }
    EXPECT_EQ(result.status, 255);
    const std::string said = "The trace file " + logs +
                             "/KvMigrationUtil.log cannot be written (Permission denied); this "
                             "run leaves no trace.\n";
    EXPECT_EQ(Count(result.err, said), 1u) << result.err;
    EXPECT_NE(result.err.find("No trace file: " + logs +
                              "/KvMigrationUtil.log cannot be written (Permission denied).\n"),
              std::string::npos)
        << result.err;
}

}  // namespace
