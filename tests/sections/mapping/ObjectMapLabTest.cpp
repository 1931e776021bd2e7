// The Mapping section through the real binary and the mapper against the lab's second domain
// (label "lab").

#include "sections/mapping/ObjectMapImporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

using KvTest::Lab;

std::string MappingSection(const std::string& file) {
    size_t begin = file.find("<Mapping");
    size_t end = file.find("</Mapping>");
    if (begin == std::string::npos) {
        return {};
    }
    return end == std::string::npos ? file.substr(begin, file.find('\n', begin) - begin)
                                    : file.substr(begin, end + 10 - begin);
}

class ObjectMapLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    std::string Service(const std::string& account, const std::string& host,
                        const std::string& path) const {
        return "      <Service oldId=\"" + lab.Id("SID_" + account) + "\" oldName=\"" + host +
               "\" newName=\"" + host + "\" cn=\"corp.local/" + path + "\"/>\n";
    }
    // Exports the source pair (or `ad` with "-ad") and returns the file's text.
    std::string Export(const std::vector<std::string>& storage) {
        std::vector<std::string> arguments = {"-ex", File(), "-rmf"};
        arguments.insert(arguments.end(), storage.begin(), storage.end());
        KvTest::ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        EXPECT_EQ(result.status, 0) << result.out;
        return KvTest::ReadFile(File());
    }
    std::string File() const { return dir.File("export.xml"); }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(ObjectMapLabTest, ExportListsTheServicesOfTheManagementServerInIdentifierOrder) {
    // Not listed: GHOST (no computer in the domain), WS05 (another server's), WS06 (no agent).
    EXPECT_EQ(MappingSection(Export({"-lds", lab.Value("KV_LAB_SRC_PORTS")})),
              "<Mapping>\n" + Service("WS01", "ws01.corp.local", "Computers/WS01") +
                  Service("WS02", "ws02.corp.local", "Computers/WS02") +
                  Service("WS03", "ws03.corp.local", "Computers/WS03") +
                  Service("WS04", "ws04.corp.local", "Computers/WS04") + "    </Mapping>");
    EXPECT_EQ(MappingSection(Export({"-ad"})),
              "<Mapping>\n" + Service("WS01", "ws01.corp.local", "Computers/WS01") +
                  Service("WS02", "ws02.corp.local", "Computers/WS02") + "    </Mapping>");
}

// An import into the target pair tied to new.local, where the computers kept their host names
// but got new SIDs, WS03 was renamed ws30 and WS04 is gone.
class SecondDomainLabTest : public ObjectMapLabTest {
protected:
    void SetUp() override {
        ObjectMapLabTest::SetUp();
        if (!HasFatalFailure()) {
            lab.Reset({"dst-new"});
        }
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    // The exported file with the administrator's edit of WS03's new name.
    void ExportAndEdit() {
        std::string text = Export({"-lds", lab.Value("KV_LAB_SRC_PORTS")});
        const std::string from = "newName=\"ws03.corp.local\"";
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, from.size(), "newName=\"ws30.corp.local\"");
        KvTest::WriteFile(File(), text);
    }
};

TEST_F(SecondDomainLabTest, ServicesMapToTheNewDomainsComputers) {
    ExportAndEdit();
    MigrationContext context;
    context.storage = lab.LdsStorage(51000, lab.OpenAdNew());
    context.serverSid = Platform::Utf8ToWide(lab.Value("KV_LAB_NEW_OMS_SID"));
    context.sections = {SectionServer, SectionClients, SectionPolicies, SectionICheck,
                        SectionUsers};
    auto map = std::make_shared<ImporterObjectMap>();
    SaxReader reader(Platform::Utf8ToWide(File()), context);
    reader.RegisterImporter(L"Korvant/Config/Mapping", map);
    reader.Resume();

    EXPECT_EQ(map->GetServerSid(), context.serverSid);
    EXPECT_EQ(map->GetSecurityDomainId(), lab.WideId("DST_SD_ID"));
    EXPECT_EQ(map->MapServiceSid(lab.WideId("SID_WS01")), lab.WideId("NEW_SID_WS01"));
    EXPECT_EQ(map->MapServiceSid(lab.WideId("SID_WS02")), lab.WideId("NEW_SID_WS02"));
    EXPECT_EQ(map->MapServiceSid(lab.WideId("SID_WS03")), lab.WideId("NEW_SID_WS30"));
    EXPECT_EQ(map->GetNewName(lab.WideId("SID_WS03")), L"ws30.corp.local");

    testing::internal::CaptureStderr();
    EXPECT_EQ(map->MapServiceSid(lab.WideId("SID_WS04")), L"");
    EXPECT_EQ(map->MapServiceSid(lab.WideId("SID_WS04")), L"");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Object ws04.corp.local not found in Active Directory\n");
    // An identifier the section does not list passes unchanged.
    EXPECT_EQ(map->MapServiceSid(L"S-1-5-21-1-2-3-4"), L"S-1-5-21-1-2-3-4");
}

TEST_F(SecondDomainLabTest, TheBinaryImportsTheMappingAgainstTheNewDomain) {
    ExportAndEdit();
    KvTest::ProcessResult result =
        KvTest::RunProgram(KV_BINARY_PATH, {"-im", File(), "-lds", lab.Value("KV_LAB_DST_PORTS")},
                           KvTest::NewDomain());
    // Everything but the service of ws04, which new.local lacks, is imported; the run says so.
    EXPECT_EQ(result.status, 255) << result.out;
    EXPECT_NE(result.err.find("Object ws04.corp.local not found in Active Directory\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("The import is incomplete."), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("The program was successfully completed."), std::string::npos)
        << result.out;
}

}  // namespace
}  // namespace KvMigration
