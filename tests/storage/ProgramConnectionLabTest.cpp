#include "support/Lab.h"
#include "support/RunProcess.h"
#include "support/ScopedTempDir.h"
#include "support/TerminalProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using KvTest::Lab;

const std::string kConnected = "Connection to the storage was successfully established.";
const std::string kExportRefused = "Current server version (8.19) is invalid for export.";
const std::string kImportRefused = "The minimum server version for import is 8.2.";

class ProgramConnectionLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    // Runs the program against the lab; the password reaches it only on its command line.
    KvTest::ProcessResult Run(std::vector<std::string> arguments) const {
        const KvTest::LabEnv& env = lab.Env();
        for (const std::string& argument :
             {std::string("-srv"), env.Get("KV_LAB_LDS_HOST"), std::string("-dc"),
              env.Get("KV_LAB_AD"), std::string("-cr"),
              env.Get("KV_LAB_USER") + ":" + env.Get("KV_LAB_PASSWORD"), std::string("-oms"),
              env.Get("KV_LAB_OMS_SID")}) {
            arguments.push_back(argument);
        }
        KvTest::ProcessResult result = KvTest::RunProcess(KV_BINARY_PATH, arguments, {}, 300);
        const std::string password = env.Get("KV_LAB_PASSWORD");
        EXPECT_EQ(result.out.find(password), std::string::npos) << "the password was printed";
        EXPECT_EQ(result.err.find(password), std::string::npos) << "the password was printed";
        return result;
    }

    std::string ExportFile() const { return dir.File("export.xml"); }
    std::string ImportFile() const {
        std::string path = dir.File("import.xml");
        KvTest::WriteFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KvMigration/>\n");
        return path;
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(ProgramConnectionLabTest, ExportConnectsToEverySourceStorage) {
    struct Case {
        const char* title;
        std::vector<std::string> storage;
    };
    const std::vector<Case> cases = {
        {"AD LDS on the default ports", {"-lds"}},
        {"AD LDS on the default SSL ports", {"-lds", "-ssl"}},
        {"AD LDS on the given ports", {"-lds", "50000:50002"}},
        {"AD LDS on the given SSL ports", {"-lds", "50001:50003", "-ssl"}},
        {"Active Directory", {"-ad"}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> arguments = {
            "-ex", dir.File("export" + std::to_string(index++) + ".xml")};
        arguments.insert(arguments.end(), c.storage.begin(), c.storage.end());
        KvTest::ProcessResult result = Run(arguments);
        EXPECT_NE(result.out.find(kConnected + "\n"), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find("invalid for export"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("connecting to"), std::string::npos) << result.err;
    }
}

TEST_F(ProgramConnectionLabTest, ASuccessfulRunEndsWithTheCompletionLineAndNoWait) {
    // On a terminal, as a person would run it: the success path never asks for a key.
    KvTest::TerminalOptions options;
    options.timeoutSeconds = 120;
    bool prompted = false;
    options.onScreen = [&](const std::string& screen, pid_t) {
        prompted = prompted || screen.find("Press any key") != std::string::npos;
        return std::string(prompted ? "k" : "");
    };
    options.environment = {{"NO_COLOR", "1"}};
    const KvTest::LabEnv& env = lab.Env();
    KvTest::TerminalResult result =
        KvTest::RunOnTerminal(KV_BINARY_PATH,
                              {"-ex", ExportFile(), "-lds", env.Get("KV_LAB_SRC_PORTS"), "-srv",
                               env.Get("KV_LAB_LDS_HOST"), "-dc", env.Get("KV_LAB_AD"), "-oms",
                               env.Get("KV_LAB_OMS_SID"), "-cr", lab.Credentials()},
                              options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 0) << result.screen;
    EXPECT_FALSE(prompted) << result.screen;
    EXPECT_NE(result.screen.find("Connection to the storage was successfully established.\r\n"),
              std::string::npos);
    const std::string completion = "The program was successfully completed.\r\n";
    ASSERT_GE(result.screen.size(), completion.size());
    EXPECT_EQ(result.screen.substr(result.screen.size() - completion.size()), completion)
        << result.screen;
    EXPECT_EQ(result.screen.find(lab.Value("KV_LAB_PASSWORD")), std::string::npos);
    std::string trace = KvTest::ReadFile(env.Get("KV_LAB_TRACE_DIR") + "/KvMigrationUtil.log");
    const std::string end = "The program was successfully completed.\r\n";
    size_t completed = trace.rfind(end);
    ASSERT_NE(completed, std::string::npos);
    const std::string last = "] End.\r\n";
    EXPECT_EQ(trace.substr(trace.size() - last.size()), last) << trace.substr(completed);
}

TEST_F(ProgramConnectionLabTest, TargetPairIsRefusedForExport) {
    KvTest::ProcessResult result = Run({"-ex", ExportFile(), "-lds", "51000:51002"});
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.out.find(kConnected + "\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.rfind(kExportRefused + "\n", 0), 0u) << result.err;
}

TEST_F(ProgramConnectionLabTest, TargetPairIsAcceptedForImport) {
    KvTest::ProcessResult result = Run({"-im", ImportFile(), "-lds", "51000:51002"});
    EXPECT_NE(result.out.find(kConnected + "\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find(kImportRefused), std::string::npos) << result.err;
}

TEST_F(ProgramConnectionLabTest, SourcePairIsRefusedForImport) {
    KvTest::ProcessResult result = Run({"-im", ImportFile(), "-lds"});
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.out.find(kConnected + "\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.rfind(kImportRefused + "\n", 0), 0u) << result.err;
}

TEST_F(ProgramConnectionLabTest, ImportRefusesTwoSecurityDomains) {
    // A second security domain in the target's security-domain instance, removed again whatever
    // the outcome, so the instance is back in its seeded state.
    const std::wstring id = L"{0f0e0d0c-0b0a-4909-8807-060504030201}";
    const std::wstring dn = L"CN=" + id + L",DC=korvant";
    LdapHelper::session_ptr session = lab.Open(lab.Env().Get("KV_LAB_LDS_HOST"), 51000, 51001);
    LdapHelper::object_ptr second = session->add_object(dn.c_str(), L"domainDNS");
    second->set_attr(L"dc", LdapHelper::attr_value(id));
    second->commit();
    struct Remove {
        LdapHelper::session_ptr session;
        std::wstring dn;
        ~Remove() { session->remove_object(dn.c_str()); }
    } remove{session, dn};

    KvTest::ProcessResult result = Run({"-im", ImportFile(), "-lds", "51000:51002"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err.rfind("Not found security domain\n", 0), 0u) << result.err;
    EXPECT_EQ(result.out.find(kConnected), std::string::npos) << result.out;
}

}  // namespace
