// The real binary's parameter stage: every failure message with the help text before it, the
// exit statuses, the parsed parameters, and the trace lines it leaves.
#include "app/InputParameters.h"
#include "app/ProgramFixture.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using ProgramTest = KvTest::ProgramFixture;

TEST_F(ProgramTest, HelpEndsWithStatusZero) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"-h"}, {"-?"}, {"-ex", "x", "-h"}}) {
        auto result = Run(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, Usage());
        EXPECT_EQ(result.err, "");
    }
    EXPECT_NE(Log().find("End.\r\n"), std::string::npos);
}

TEST_F(ProgramTest, EveryParameterFailurePrintsUsageThenTheMessage) {
    KvTest::WriteFile(dir_.File("work/exists.xml"), "x");
    const std::string work = dir_.File("work");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"-ex"}, "Key \"-ex\" must have argument."},
        {{"-ex", "-lds"}, "Key \"-ex\" must have argument."},
        {{"-im", "-ad"}, "Key \"-im\" must have argument."},
        {{"-ad"},
         "Input parameters must contain \"-ex\" key for export or \"-im\" key for import."},
        {{"-ex", "exists.xml", "-lds"},
         "A file with the name \"" + work + "/exists.xml\" already exists."},
        {{"-ex", "missing/out.xml", "-lds"},
         "Can't create the file: a folder with path \"" + work + "/missing\" doesn't exist"},
        {{"-im", "none.xml"}, "Can't find file with name \"" + work + "/none.xml\"."},
        {{"-ex", "new.xml"},
         "Input parameters must contain \"-lds\" or \"-ad\" key to define options storage."},
        {{"-ex", "new.xml", "-lds", "abc"},
         "An exception occurred while reading input parameters: invalid stoi argument"},
        {{"-ex", "new.xml", "-lds", "99999999999"},
         "An exception occurred while reading input parameters: stoi argument out of range"},
        {{"-ex", "new.xml", "-lds", "-cr"}, "Key \"-cr\" must have argument."},
        {{"-ex", "/" + std::string(300, 'a'), "-lds"},
         "File name \"/" + std::string(300, 'a') + "\" is not valid."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto result = Run(c.arguments);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, Usage());
        EXPECT_EQ(result.err, c.message + "\n" + TraceLine());
    }
    std::string log = Log();
    EXPECT_NE(log.find("W> Code: 0x80004005\r\nDescription: Key \"-ex\" must have argument.\r\n"
                       "File: InputParameters\r\nFunction: ReadInputParameters\r\nLine: "),
              std::string::npos);
}

// Nothing listens on 127.0.0.9, so the run ends at the storage stage right after the parameters.
TEST_F(ProgramTest, ValidParametersAreReadAndTheSecretIsNotTraced) {
    auto result = Run({"-ex", "out.xml", "-lds", "51000:51002", "-cr", "admin@corp.local:s3cr:et",
                       "-ssl", "-dc", "127.0.0.9"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out.rfind("The input parameters have been successfully read.\n", 0), 0u)
        << result.out;
    EXPECT_EQ(result.out.find("s3cr"), std::string::npos);
    std::string log = Log();
    EXPECT_NE(
        log.find("Input string: -ex out.xml -lds 51000:51002 -cr <present> -ssl -dc 127.0.0.9\r\n"),
        std::string::npos);
    EXPECT_NE(log.find("[ReadInputParameters]  Begin\r\n"), std::string::npos);
    EXPECT_EQ(log.find("s3cr"), std::string::npos);
}

TEST_F(ProgramTest, ExportReplacesAnExistingFileWithRmf) {
    KvTest::WriteFile(dir_.File("work/old.xml"), "x");
    auto result = Run({"-ex", "old.xml", "-ad", "-rmf", "-dc", "127.0.0.9"});
    EXPECT_NE(result.out.find("The input parameters have been successfully read.\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("work/old.xml")));
}

TEST_F(ProgramTest, FileNamesAreNeverTakenForOtherNames) {
    const std::string work = dir_.File("work");
    KvTest::WriteFile(dir_.File("work/caf?.xml"), "keep");
    std::filesystem::create_directories(dir_.File("work/empty"));
    ASSERT_EQ(symlink(dir_.File("work/target.xml").c_str(), dir_.File("work/dangling.xml").c_str()),
              0);
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        // A Latin-1 name is not UTF-8: refused, not replaced by "caf?.xml".
        {{"-ex", "caf\xe9.xml", "-lds", "-rmf"}, "is not valid."},
        {{"-ex", "empty", "-lds", "-rmf"},
         "\"" + work + "/empty\" is not a regular file; -rmf replaces only files."},
        {{"-ex", ".", "-lds", "-rmf"},
         "\"" + work + "/\" is not a regular file; -rmf replaces only files."},
        {{"-ex", "dangling.xml", "-lds"},
         "A file with the name \"" + work + "/dangling.xml\" already exists."},
        {{"-ex", "dangling.xml", "-lds", "-rmf"},
         "\"" + work + "/dangling.xml\" is not a regular file; -rmf replaces only files."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto result = Run(c.arguments);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, Usage());
        const std::string tail = c.message + "\n" + TraceLine();
        ASSERT_GE(result.err.size(), tail.size()) << result.err;
        EXPECT_EQ(result.err.substr(result.err.size() - tail.size()), tail) << result.err;
    }
    EXPECT_EQ(KvTest::ReadFile(dir_.File("work/caf?.xml")), "keep");
    EXPECT_TRUE(std::filesystem::is_directory(dir_.File("work/empty")));
    EXPECT_TRUE(std::filesystem::is_directory(work));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("work/dangling.xml")));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("work/target.xml")));
}

TEST_F(ProgramTest, TheKeyWaitHappensOnlyForAPersonAtTheTerminal) {
    const std::string prompt = "Press any key to continue . . .";
    struct Case {
        const char* title;
        KvTest::TerminalRole role;
        bool redirected;
        bool waits;
    };
    const Case cases[] = {
        {"foreground job on the terminal", KvTest::TerminalRole::Foreground, false, true},
        {"background job", KvTest::TerminalRole::Background, false, false},
        {"output redirected to a file", KvTest::TerminalRole::Foreground, true, false},
        {"input from a terminal it does not control", KvTest::TerminalRole::NotControlling, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::TerminalOptions options;
        options.role = c.role;
        if (c.redirected) {
            options.outputFile = dir_.File("out.txt");
        }
        bool prompted = false;
        options.onScreen = [&](const std::string& screen, pid_t) {
            if (!prompted && screen.find(prompt) != std::string::npos) {
                prompted = true;
                return std::string("k");
            }
            return std::string();
        };
        KvTest::TerminalResult result = RunOnTerminal({"-h"}, options);
        EXPECT_FALSE(result.timedOut) << result.screen;
        EXPECT_EQ(result.status, 0) << result.screen;
        EXPECT_EQ(prompted, c.waits) << result.screen;
        if (c.redirected) {
            std::string output = KvTest::ReadFile(dir_.File("out.txt"));
            EXPECT_EQ(output, Usage());
        }
    }
}

TEST_F(ProgramTest, ThePasswordLeavesTheVisibleCommandLineAtOnce) {
    // -dbg holds the run at its debugger prompt, long enough to look at the process from outside.
    std::string commandLine;
    KvTest::TerminalOptions options;
    options.onScreen = [&](const std::string& screen, pid_t pid) {
        if (commandLine.empty() && screen.find("Debug Window") != std::string::npos) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
            commandLine.assign(std::istreambuf_iterator<char>(in), {});
            return std::string("\n");
        }
        return std::string(screen.find("Press any key") != std::string::npos ? "k" : "");
    };
    RunOnTerminal({"-dbg", "-h", "-cr", "admin@corp.local:s3cr:et", "-cr", "second", "-w", "wpass",
                   "-W", "-y", "file"},
                  options);
    ASSERT_FALSE(commandLine.empty());
    EXPECT_EQ(commandLine.find("s3cr"), std::string::npos);
    using namespace std::string_literals;
    EXPECT_NE(commandLine.find("-cr\0admin@corp.local:xxxxxxx\0"s), std::string::npos);
    EXPECT_NE(commandLine.find("-cr\0xxxxxx\0"s), std::string::npos);
    // ldapmodify's "-w <password>" out of habit; a key after "-W" is no value of it.
    EXPECT_NE(commandLine.find("-w\0xxxxx\0-W\0-y\0file\0"s), std::string::npos);
}

TEST_F(ProgramTest, MissingComputerSidFailsWithTheSystemText) {
    KvTest::WriteFile(
        dir_.File("registry.reg"),
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\r\n"
        "\"TracePath\"=\"" +
            dir_.Path() + "/logs\"\r\n");
    auto result = Run({"-im", "/dev/null"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, Usage());
    EXPECT_EQ(result.err,
              "No mapping between account names and security IDs was done.\n" + TraceLine());
}

}  // namespace
