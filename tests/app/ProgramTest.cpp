// The real binary's parameter stage: every failure message with the help text before it, the
// exit statuses, the parsed parameters, and the trace lines it leaves.
#include "app/InputParameters.h"
#include "platform/CodePage.h"
#include "support/RunProcess.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ProgramTest : public testing::Test {
protected:
    void SetUp() override {
        KvTest::WriteFile(
            dir_.File("registry.reg"),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\r\n"
            "\"ComputerSid\"=\"S-1-5-21-1-2-3-1000\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\r\n"
            "\"TracePath\"=\"" +
                dir_.Path() + "/logs\"\r\n");
        std::filesystem::create_directories(dir_.File("work"));
    }

    KvTest::ProcessResult Run(const std::vector<std::string>& arguments) {
        return KvTest::RunProcess(
            KV_BINARY_PATH, arguments,
            {{"KV_REGISTRY_FILE", dir_.File("registry.reg")}, {"NO_COLOR", "1"}}, 60,
            dir_.File("work"));
    }

    std::string Log() { return KvTest::ReadFile(dir_.File("logs/KvMigrationUtil.log")); }

    std::string Usage() { return KvMigration::UsageText() + "\n\n"; }

    KvTest::ScopedTempDir dir_;
};

TEST_F(ProgramTest, HelpEndsWithStatusZero) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"-h"}, {"-?"}, {"-ex", "x", "-h"}}) {
        auto result = Run(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, Usage());
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
        EXPECT_EQ(result.out, Usage() + c.message + "\n");
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

TEST_F(ProgramTest, MissingComputerSidFailsWithTheSystemText) {
    KvTest::WriteFile(
        dir_.File("registry.reg"),
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\r\n"
        "\"TracePath\"=\"" +
            dir_.Path() + "/logs\"\r\n");
    auto result = Run({"-im", "/dev/null"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out,
              Usage() + "No mapping between account names and security IDs was done.\n");
}

}  // namespace
