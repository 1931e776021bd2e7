#include "app/InputParameters.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>

namespace {

using KvMigration::InputParameters;

class ReadParametersTest : public testing::Test {
protected:
    ReadParametersTest()
        : env_("KV_REGISTRY_FILE", dir_.File("r.reg")), trace_("TMPDIR", dir_.Path()) {
        KvTest::WriteFile(
            dir_.File("r.reg"),
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n"
            "\"ComputerSid\"=\"S-1-5-21-9-9-9-1001\"\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\n"
            "\"TracePath\"=\"" +
                dir_.Path() + "\"\n");
        KvTest::WriteFile(dir_.File("in.xml"), "<Korvant/>");
    }

    InputParameters Read(std::vector<std::wstring> arguments) {
        return KvMigration::ReadInputParameters(arguments);
    }

    std::wstring In() { return Platform::Utf8ToWide(dir_.File("in.xml")); }

    KvTest::ScopedTempDir dir_;
    KvTest::ScopedEnv env_;
    KvTest::ScopedEnv trace_;
};

TEST_F(ReadParametersTest, LdsPortForms) {
    struct Case {
        const wchar_t* value;
        int32_t port;
        int32_t gcPort;
    };
    const Case cases[] = {{L"50100:501002", 50100, 501002},
                          {L"501002", 0, 501002},
                          {L":51002", 0, 51002},
                          {L"51000:", 51000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << Platform::WideToUtf8(c.value));
        auto p = Read({L"-im", In(), L"-lds", c.value});
        EXPECT_EQ(p.ldsPort, c.port);
        EXPECT_EQ(p.ldsGcPort, c.gcPort);
        EXPECT_TRUE(p.isLds);
    }
    auto plain = Read({L"-im", In(), L"-lds"});
    EXPECT_EQ(plain.ldsPort, 0);
    EXPECT_EQ(plain.ldsGcPort, 0);
}

TEST_F(ReadParametersTest, DefaultsOfAnImport) {
    auto p = Read({L"-im", In()});
    EXPECT_FALSE(p.isExport);
    EXPECT_TRUE(p.isLds);
    EXPECT_FALSE(p.useSsl);
    EXPECT_TRUE(p.kvPolicyPriority);
    EXPECT_FALSE(p.forceImport);
    EXPECT_FALSE(p.importPrivileges);
    EXPECT_TRUE(p.sections.empty());
    EXPECT_EQ(p.omsId, L"S-1-5-21-9-9-9-1001");
    EXPECT_EQ(p.fileName, In());
}

TEST_F(ReadParametersTest, OptionsAndSections) {
    auto p = Read({L"-im", In(), L"-ad", L"-cr", L"CORP\\admin:pa:ss", L"-fi", L"-priv", L"-winpol",
                   L"-server", L"-icheck", L"-users", L"-srv", L"lds1", L"-dc", L"dc1", L"-oms",
                   L"S-1-5-21-1-2-3-4", L"-ssl", L"-unknown"});
    EXPECT_FALSE(p.isLds);
    EXPECT_EQ(p.userName, L"CORP\\admin");
    EXPECT_EQ(p.password, L"pa:ss");
    EXPECT_TRUE(p.forceImport);
    EXPECT_TRUE(p.importPrivileges);
    EXPECT_FALSE(p.kvPolicyPriority);
    EXPECT_EQ(p.sections, (std::set<int>{1, 4, 5}));
    EXPECT_EQ(p.serverName, L"lds1");
    EXPECT_EQ(p.dcName, L"dc1");
    EXPECT_EQ(p.omsId, L"S-1-5-21-1-2-3-4");
    EXPECT_TRUE(p.useSsl);
    auto noColon = Read({L"-im", In(), L"-cr", L"alone", L"-clients", L"-policies"});
    EXPECT_EQ(noColon.userName, L"alone");
    EXPECT_EQ(noColon.password, L"alone");
    EXPECT_EQ(noColon.sections, (std::set<int>{0, 2}));
}

TEST_F(ReadParametersTest, ExportWinsOverImportAndFirstFileIsUsed) {
    auto p = Read({L"-im", In(), L"-ex", L"a.xml", L"-ex", L"b.xml", L"-ad"});
    EXPECT_TRUE(p.isExport);
    EXPECT_EQ(p.fileName.substr(p.fileName.size() - 6), L"/a.xml");
}

}  // namespace
