#include "sections/mapping/ObjectMapExporter.h"
#include "sections/mapping/ObjectMapImporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/StorageFixture.h"
#include "support/TraceCapture.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using namespace KvStorageTest;

const std::wstring kWs1 = L"S-1-5-21-1-2-3-1104";
const std::wstring kWs2 = L"S-1-5-21-1-2-3-1105";
const std::wstring kNewWs1 = L"S-1-5-21-9-9-9-2104";

std::wstring ComputerFilter(const std::wstring& escapedName) {
    return L"(&(dNSHostName=" + escapedName + L")(objectClass=computer))";
}

// The mapper of a Mapping section read against a fake target storage at 8.19.
class ObjectMapTest : public testing::Test {
public:
    ObjectMapTest() : lab({8, 19}) {
        lab.ad->Answer(L"", ComputerFilter(L"ws1.new.local"),
                       {Entry(L"CN=WS1", {{L"objectSid", Sid(kNewWs1)}})});
    }

    std::shared_ptr<ImporterObjectMap> Read(const std::wstring& services,
                                            std::set<int> sections = {SectionClients}) {
        MigrationContext context;
        context.storage = lab.Session();
        context.serverSid = kServer;
        context.sections = std::move(sections);
        auto map = std::make_shared<ImporterObjectMap>();
        SaxReader reader(
            XmlSource{L"<Korvant><Config><Mapping>" + services + L"</Mapping></Config></Korvant>"},
            context);
        reader.RegisterImporter(L"Korvant/Config/Mapping", map);
        reader.Resume();
        return map;
    }
    size_t AdSearches() const { return lab.ad->Requests().size(); }

    LdsStorageFixture lab;
};

std::wstring Service(const std::wstring& oldId, const std::wstring& newName) {
    return L"<Service oldId=\"" + oldId + L"\" oldName=\"old\" newName=\"" + newName +
           L"\" cn=\"x\"/>";
}

TEST_F(ObjectMapTest, ServesTheTargetServerAndSecurityDomain) {
    auto map = Read(L"");
    EXPECT_EQ(map->GetServerSid(), kServer);
    EXPECT_EQ(map->GetSecurityDomainId(), L"5A5A");
}

TEST_F(ObjectMapTest, MapsByTheNewHostName) {
    auto map = Read(Service(kWs1, L"ws1.new.local"));
    EXPECT_EQ(map->MapServiceSid(kWs1), kNewWs1);
    EXPECT_EQ(map->GetNewName(kWs1), L"ws1.new.local");
    // Not in the section: passes unchanged, without a question to the directory.
    const size_t before = AdSearches();
    EXPECT_EQ(map->MapServiceSid(kWs2), kWs2);
    EXPECT_EQ(map->GetNewName(kWs2), L"");
    EXPECT_EQ(AdSearches(), before);
}

TEST_F(ObjectMapTest, TableRules) {
    struct Case {
        const char* title;
        std::wstring services;
        std::wstring newName;  // of kWs1
    };
    const std::vector<Case> cases = {
        {"the later of two wins", Service(kWs1, L"a") + Service(kWs1, L"b"), L"b"},
        {"without newName ignored", L"<Service oldId=\"" + kWs1 + L"\" oldName=\"a\"/>", L""},
        {"without oldId ignored", L"<Service newName=\"a\"/>", L""},
        {"any element name", L"<Computer oldId=\"" + kWs1 + L"\" newName=\"c\"/>", L"c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Read(c.services)->GetNewName(kWs1), c.newName);
    }
}

TEST_F(ObjectMapTest, MissingHostIsReportedOnceWhenClientsAreImported) {
    auto map = Read(Service(kWs2, L"gone.new.local"));
    const size_t trace = KvTest::TraceLogSize();
    const size_t before = AdSearches();
    EXPECT_EQ(map->MapServiceSid(kWs2), L"");
    EXPECT_EQ(map->MapServiceSid(kWs2), L"");
    EXPECT_EQ(AdSearches() - before, 1u);
    std::wstring lines = KvTest::TraceLogSince(trace);
    const std::wstring warning = L"Object gone.new.local not found in Active Directory";
    ASSERT_NE(lines.find(warning), std::wstring::npos);
    EXPECT_EQ(lines.find(warning, lines.find(warning) + 1), std::wstring::npos);
    // The service was left out: the run must not end as a success.
    EXPECT_EQ(map->MissingContent(),
              L"No computer of the target domain has the newName of 1 service(s) of the Mapping "
              L"section (\"gone.new.local\"), so they were left out; mend the names in the file "
              L"and import again.");
}

TEST_F(ObjectMapTest, MissingHostIsAskedForAgainWithoutTheClientSection) {
    auto map = Read(Service(kWs2, L"gone.new.local"), {SectionServer});
    const size_t trace = KvTest::TraceLogSize();
    const size_t before = AdSearches();
    EXPECT_EQ(map->MapServiceSid(kWs2), L"");
    EXPECT_EQ(map->MapServiceSid(kWs2), L"");
    EXPECT_EQ(AdSearches() - before, 2u);
    EXPECT_EQ(KvTest::TraceLogSince(trace).find(L"not found in Active Directory"),
              std::wstring::npos);
    // Without the client section no service is imported, so none was left out.
    EXPECT_EQ(map->MissingContent(), L"");
}

TEST_F(ObjectMapTest, HostNamesFromTheFileAreEscapedInTheFilter) {
    auto map = Read(Service(kWs1, L"*)(objectClass=*") + Service(kWs2, L""));
    EXPECT_EQ(map->MapServiceSid(kWs1), L"");
    EXPECT_EQ(lab.ad->Requests().back().filter, ComputerFilter(L"\\2A\\29\\28objectClass\\3D\\2A"));
    // A blanked name is not looked up at all.
    const size_t before = AdSearches();
    EXPECT_EQ(map->MapServiceSid(kWs2), L"");
    EXPECT_EQ(AdSearches(), before);
}

TEST(ObjectMapExporter, OneServicePerServiceInIdentifierOrder) {
    LdsStorageFixture lab({7, 16});
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    lab.gc->Answer(L"CN={5A5A},DC=Korvant-GC",
                   ObjectFilter(*schema.GetObjectSchema(KindService), L"", kServer),
                   {Entry(L"CN=WS2", {{L"orvexKVObjectSid", Sid(kWs2)}}),
                    Entry(L"CN=WS1", {{L"orvexKVObjectSid", Sid(kWs1)}})});
    LdapHelper::object_list computers;
    for (const auto& [sid, host] : {std::pair{kWs2, L"ws2"}, std::pair{kWs1, L"ws1"}}) {
        computers.push_back(
            Entry(L"CN=x",
                  {{L"objectSid", Sid(sid)},
                   {L"dNSHostName", attr_value(std::wstring(host) + L".corp.local")},
                   {L"canonicalName", attr_value(L"corp.local/Computers/" + std::wstring(host))}}));
    }
    // The services are looked up together, in the order the storage listed them.
    lab.ad->Answer(L"", L"(|(objectSid=" + kWs2 + L")(objectSid=" + kWs1 + L"))", computers);
    MigrationContext context;
    context.storage = lab.Session();
    context.serverSid = kServer;
    std::wstring text;
    {
        SaxWriter writer(&text, context);
        writer.RegisterExporter(L"Mapping", std::make_shared<ExporterObjectMap>());
        writer.StartNode(L"Mapping", L"");
        writer.EndNode();
    }
    EXPECT_EQ(text,
              L"<Mapping>\n"
              L"  <Service oldId=\"" +
                  kWs1 +
                  L"\" oldName=\"ws1.corp.local\" "
                  L"newName=\"ws1.corp.local\" cn=\"corp.local/Computers/ws1\"/>\n"
                  L"  <Service oldId=\"" +
                  kWs2 +
                  L"\" oldName=\"ws2.corp.local\" "
                  L"newName=\"ws2.corp.local\" cn=\"corp.local/Computers/ws2\"/>\n"
                  L"</Mapping>");
    // Each service written is counted once.
    const std::vector<SectionTally> tallies = context.journal->Tallies();
    ASSERT_EQ(tallies.size(), 1u);
    EXPECT_EQ(tallies[0].Count(ObjectAction::Exported), 2u);
}

}  // namespace
}  // namespace KvMigration
