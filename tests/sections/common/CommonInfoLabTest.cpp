// The Common section written by the real binary from the lab's storages (label "lab").

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

// The Common element of a migration file.
std::string CommonSection(const std::string& file) {
    size_t begin = file.find("<Common>");
    size_t end = file.find("</Common>");
    return begin == std::string::npos || end == std::string::npos
               ? std::string()
               : file.substr(begin, end + 9 - begin);
}

class CommonInfoLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }
    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(CommonInfoLabTest, ExportRecordsDateVersionAndSecurityDomain) {
    struct Case {
        const char* title;
        std::vector<std::string> storage;
        std::string domainId;
    };
    const std::vector<Case> cases = {
        {"AD LDS pair",
         {"-lds", lab.Value("KV_LAB_SRC_PORTS")},
         "<DomainId>" + lab.Id("SRC_SD_ID") + "</DomainId>"},
        {"Active Directory", {"-ad"}, "<DomainId/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> arguments = {"-ex", dir.File("export.xml"), "-rmf"};
        arguments.insert(arguments.end(), c.storage.begin(), c.storage.end());
        KvTest::ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        ASSERT_EQ(result.status, 0) << result.out;
        const std::string common = CommonSection(KvTest::ReadFile(dir.File("export.xml")));
        const std::regex expected(
            "<Common>\n"
            "      <Date>[0-3][0-9]-[01][0-9]-20[0-9][0-9] [0-2][0-9]:[0-5][0-9]"
            "</Date>\n"
            "      <SchemaVersion major=\"7\" minor=\"16\"/>\n"
            "      " +
            c.domainId + "\n    </Common>");
        EXPECT_TRUE(std::regex_match(common, expected)) << common;
    }
}

}  // namespace
