#include "sections/client/ClientExporter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "client/ClientBase64.h"
#include "platform/CodePage.h"
#include "sections/client/ClientTestSupport.h"
#include "support/TraceCapture.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using LdapHelper::attr_value;

const std::wstring kRoot = L"DC=korvant-gc";
const std::wstring kUsers = L"CN=Users," + kRoot;
const std::wstring kElids = L"CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + kRoot;
const std::wstring kConfig = L"CN=Korvant 5.0 Configuration," + kRoot;

// A source whose searches below one base are refused by the server.
class RefusingSource : public KvTest::FakeSession {
public:
    explicit RefusingSource(std::wstring base) : base_(std::move(base)) {}
    LdapHelper::object_list search(const LdapHelper::query& q,
                                   const LdapHelper::attr_list& attrs) override {
        if (q.base == base_) {
            LdapHelper::report_failure(kUnwilling, error_text(kUnwilling), "FakeDirectory",
                                       __LINE__);
        }
        return KvTest::FakeSession::search(q, attrs);
    }

private:
    static constexpr uint32_t kUnwilling = 53;
    std::wstring base_;
};

struct Exported {
    std::wstring xml;
    std::string console;
};

class ClientExporterTest : public ClientSectionTest {
protected:
    ClientExporterTest() {
        context.storage = {ad, true, nullptr, gc};
        context.serverSid = kOms;
        context.journal->AddSink(events);
        AnswerServer(*gc, kRoot);
    }

    // The Client element as the exporter writes it, and the console lines it prints.
    Exported Export() {
        Exported result;
        testing::internal::CaptureStdout();
        {
            SaxWriter writer(&result.xml, context);
            writer.RegisterExporter(L"Client", std::make_shared<ClientExporter>());
            writer.StartNode(L"Client", L"");
            writer.EndNode();
        }
        result.console = testing::internal::GetCapturedStdout();
        return result;
    }

    std::shared_ptr<KvTest::FakeSession> ad = std::make_shared<KvTest::FakeSession>();
    std::shared_ptr<KvTest::FakeSession> gc = std::make_shared<KvTest::FakeSession>();
    MigrationContext context;
    std::shared_ptr<JournalLines> events = std::make_shared<JournalLines>();
};

TEST_F(ClientExporterTest, ASourceWithoutClientObjectsGivesThreeEmptyContainers) {
    Exported exported = Export();
    EXPECT_EQ(exported.xml, L"<Client>\n  <Globals/>\n  <Users/>\n  <Elids/>\n</Client>");
    EXPECT_EQ(exported.console,
              "Client objects export started for LDS server:   : 389\n"
              "Searching client objects in:  DC=korvant-gc\n"
              "Found  0 orvexKVGQuillData  objects...\n"
              "Exported  0  objects.\n"
              "Found  0 person  objects...\n"
              "Exported  0  objects.\n"
              "Found  0 orvexKVUEI  objects...\n"
              "Exported  0  objects.\n"
              "Client objects export finished.\n");
    EXPECT_TRUE(LdsStorageMode());
    ASSERT_EQ(gc->Requests().size(), 4u);
    EXPECT_EQ(gc->Requests()[1].base, kConfig);
    EXPECT_EQ(gc->Requests()[1].filter, L"(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))");
    EXPECT_EQ(gc->Requests()[2].base, kUsers);
    EXPECT_EQ(gc->Requests()[2].filter, L"(objectCategory=person)");
    EXPECT_EQ(gc->Requests()[3].base, kElids);
    EXPECT_EQ(gc->Requests()[3].filter, L"(objectCategory=orvexKVUEI)");
    EXPECT_TRUE(ad->Requests().empty());
    EXPECT_TRUE(sink.records.empty());
    EXPECT_TRUE(events->lines.empty());
}

TEST_F(ClientExporterTest, ObjectsThatFailAreReportedAndLeftOut) {
    gc->Answer(kConfig, L"(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))",
               {KvTest::Entry(L"CN=GQuillData," + kConfig,
                              {{L"cn", attr_value(L"GQuillData")},
                               {L"orvexKVGQuillDataKaCheckImit", attr_value(Bytes(8))}})});
    gc->Answer(
        kUsers, L"(objectCategory=person)",
        {KvTest::Entry(L"CN=" + kAlice + L"," + kUsers,
                       {{L"cn", attr_value(kAlice)},
                        {L"orvexKVObjectSid", Sid(kAlice)},
                        {L"orvexKVUserAccessLevel", attr_value(L"3")}}),
         KvTest::Entry(L"CN=nobody," + kUsers,
                       {{L"cn", attr_value(L"nobody")}, {L"orvexKVObjectSid", Sid(kBob)}}),
         KvTest::Entry(L"CN=nosid," + kUsers, {{L"cn", attr_value(L"nosid")},
                                               {L"orvexKVUserAccessLevel", attr_value(L"1")}})});
    gc->Answer(kElids, L"(objectCategory=orvexKVUEI)",
               {KvTest::Entry(L"CN=short," + kElids, {{L"cn", attr_value(L"short")},
                                                      {L"orvexKVUEIUserSID", Sid(kAlice)},
                                                      {L"orvexKVUEISize", attr_value(L"40")},
                                                      {L"orvexKVUEIId", attr_value(Bytes(39))}}),
                KvTest::Entry(L"CN=orphan," + kElids, {{L"cn", attr_value(L"orphan")},
                                                       {L"orvexKVUEIType", attr_value(L"1")}}),
                KvTest::Entry(L"CN=good," + kElids, {{L"cn", attr_value(L"good")},
                                                     {L"orvexKVUEIUserSID", Sid(kBob)},
                                                     {L"orvexKVUEIType", attr_value(L"2")}})});
    Exported exported = Export();
    EXPECT_EQ(exported.xml,
              L"<Client>\n"
              L"  <Globals>\n"
              L"    <orvexKVGQuillData orvexKVGQuillDataKaCheckImit=\"" +
                  EncodeClientBase64(Bytes(8)) +
                  L"\">GQuillData</orvexKVGQuillData>\n"
                  L"  </Globals>\n"
                  L"  <Users>\n"
                  L"    <person orvexKVUserAccessLevel=\"3\">" +
                  kAlice +
                  L"</person>\n"
                  L"  </Users>\n"
                  L"  <Elids>\n"
                  L"    <orvexKVUEI orvexKVUEIType=\"2\" orvexKVUEIUserSID=\"" +
                  kBob +
                  L"\">good</orvexKVUEI>\n"
                  L"  </Elids>\n"
                  L"</Client>");
    EXPECT_EQ(exported.console,
              "Client objects export started for LDS server:   : 389\n"
              "Searching client objects in:  DC=korvant-gc\n"
              "Found  1 orvexKVGQuillData  objects...\n"
              "Exported  1  objects.\n"
              "Found  3 person  objects...\n"
              "Client object  nosid  export finished with error:  The security ID structure is "
              "invalid.\n"
              "Exported  1  objects.\n"
              "Found  3 orvexKVUEI  objects...\n"
              "Client object  short  export finished with error:  The data is invalid.\n"
              "Client object  orphan  export finished with error:  The security ID structure is "
              "invalid.\n"
              "Exported  1  objects.\n"
              "Client objects export finished.\n");
    ASSERT_EQ(sink.records.size(), 3u);
    EXPECT_EQ(sink.records[0].code, L"539");
    EXPECT_EQ(sink.records[1].code, L"d");
    // Every object found is accounted for, by the element name its kind has in the file.
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{
                  L"exported orvexKVGQuillData GQuillData (GQuillData)",
                  L"exported person " + kAlice + L" (" + kAlice + L")",
                  L"skipped person " + kBob + L" (nobody): no product data",
                  L"skipped person nosid (nosid): The security ID structure is invalid. [1337]",
                  L"skipped orvexKVUEI short (short): The data is invalid. [13]",
                  L"skipped orvexKVUEI orphan (orphan): The security ID structure is invalid. "
                  L"[1337]",
                  L"exported orvexKVUEI good (good)"}));
}

TEST_F(ClientExporterTest, EveryGlobalRecordNamedGQuillDataIsExported) {
    const std::wstring filter = L"(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))";
    gc->Answer(kConfig, filter,
               {KvTest::Entry(L"CN=GQuillData," + kConfig,
                              {{L"orvexKVGQuillDataKaCheckImit", attr_value(Bytes(8))}}),
                KvTest::Entry(L"CN=GQuillData,CN=Policies," + kConfig,
                              {{L"orvexKVGQuillDataSKaCheckImit", attr_value(Bytes(8, 2))}})});
    Exported exported = Export();
    EXPECT_NE(
        exported.xml.find(L"<Globals>\n    <orvexKVGQuillData orvexKVGQuillDataKaCheckImit=\"" +
                          EncodeClientBase64(Bytes(8)) +
                          L"\">GQuillData</orvexKVGQuillData>\n    <orvexKVGQuillData "
                          L"orvexKVGQuillDataSKaCheckImit=\"" +
                          EncodeClientBase64(Bytes(8, 2)) +
                          L"\">GQuillData</orvexKVGQuillData>\n  </Globals>"),
        std::wstring::npos)
        << exported.xml;
    EXPECT_NE(
        exported.console.find("Found  2 orvexKVGQuillData  objects...\nExported  2  objects.\n"),
        std::string::npos);
}

TEST_F(ClientExporterTest, AnActiveDirectorySourceSearchesUsersFromItsNamingContext) {
    context.storage = {ad, false, nullptr, nullptr};
    const std::wstring root = L"DC=corp,DC=local";
    ad->Answer(L"", L"(objectCategory=person)",
               {KvTest::Entry(L"CN=Administrator,CN=Users," + root,
                              {{L"cn", attr_value(L"Administrator")},
                               {L"objectSid", Sid(L"S-1-5-21-1-2-3-500")}}),
                KvTest::Entry(L"CN=Alice,CN=Users," + root,
                              {{L"cn", attr_value(L"Alice")},
                               {L"objectSid", Sid(kAlice)},
                               {L"orvexKVObjectSid", Sid(kBob)},
                               {L"orvexKVUserfOutputSecret", attr_value(L"TRUE")}})});
    Exported exported = Export();
    EXPECT_NE(exported.xml.find(L"<person orvexKVUserfOutputSecret=\"1\">" + kAlice + L"</person>"),
              std::wstring::npos);
    EXPECT_EQ(exported.console,
              "Client objects export started for AD server:  \n"
              "Searching client objects in:  DC=corp,DC=local\n"
              "Found  0 orvexKVGQuillData  objects...\n"
              "Exported  0  objects.\n"
              "Found  2 person  objects...\n"
              "Exported  1  objects.\n"
              "Found  0 orvexKVUEI  objects...\n"
              "Exported  0  objects.\n"
              "Client objects export finished.\n");
    EXPECT_FALSE(LdsStorageMode());
    // A user is named by its SID, whatever its cn.
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{
                  L"skipped person S-1-5-21-1-2-3-500 (Administrator): no product data",
                  L"exported person " + kAlice + L" (Alice)"}));
    ASSERT_EQ(ad->Requests().size(), 3u);
    EXPECT_EQ(ad->Requests()[0].base, L"CN=Korvant 5.0 Configuration," + root);
    EXPECT_EQ(ad->Requests()[2].base,
              L"CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + root);
    EXPECT_TRUE(gc->Requests().empty());
}

TEST_F(ClientExporterTest, AnInvalidContextWritesNothingButTheSectionElement) {
    struct Case {
        const char* title;
        std::wstring sid;
        StorageSession storage;
        std::wstring traced;
    };
    const std::vector<Case> cases = {
        {"no server SID", L"", {ad, true, nullptr, gc}, L"OMS Server SID is empty."},
        {"no global catalogue",
         kOms,
         {ad, true, gc, nullptr},
         L"No LDS global catalog connection."},
        {"no domain controller",
         kOms,
         {nullptr, false, nullptr, gc},
         L"No Active Directory connection."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        context.serverSid = c.sid;
        context.storage = c.storage;
        const size_t traceStart = KvTest::TraceLogSize();
        Exported exported = Export();
        EXPECT_EQ(exported.xml, L"<Client/>");
        EXPECT_EQ(exported.console,
                  "Input export context is invalid. Client data export impossible. See logs for "
                  "details.\n");
        EXPECT_NE(KvTest::TraceLogSince(traceStart).find(L"Description: " + c.traced),
                  std::wstring::npos);
        // The empty section is a failure of the section, not a source without client objects.
        ASSERT_EQ(events->lines.size(), 1u);
        EXPECT_EQ(events->lines[0].rfind(L"failed Client Client (Client): " + c.traced, 0), 0u)
            << Platform::WideToUtf8(events->lines[0]);
        events->lines.clear();
    }
}

TEST_F(ClientExporterTest, AFailedBaseEndsTheSectionWithItsError) {
    gc = std::make_shared<KvTest::FakeSession>();
    context.storage.ldsGcSession = gc;
    Exported exported = Export();
    EXPECT_EQ(exported.xml, L"<Client/>");
    EXPECT_EQ(exported.console,
              "Client objects export started for LDS server:   : 389\n"
              "Client objects export finished with error:  The format of the specified computer "
              "name is invalid.\n");
    EXPECT_EQ(events->lines,
              std::vector<std::wstring>{L"failed Client Client (Client): The format of the "
                                        L"specified computer name is invalid. [1210]"});
}

TEST_F(ClientExporterTest, AFailedSearchEndsItsContainerAndTheNextOneFollows) {
    gc = std::make_shared<RefusingSource>(kUsers);
    AnswerServer(*gc, kRoot);
    context.storage.ldsGcSession = gc;
    Exported exported = Export();
    EXPECT_EQ(exported.xml, L"<Client>\n  <Globals/>\n  <Users/>\n  <Elids/>\n</Client>");
    EXPECT_EQ(exported.console,
              "Client objects export started for LDS server:   : 389\n"
              "Searching client objects in:  DC=korvant-gc\n"
              "Found  0 orvexKVGQuillData  objects...\n"
              "Exported  0  objects.\n"
              "Found  0 orvexKVUEI  objects...\n"
              "Exported  0  objects.\n"
              "Client objects export finished.\n");
    ASSERT_EQ(sink.records.size(), 1u);
    ASSERT_EQ(events->lines.size(), 1u);
    EXPECT_EQ(events->lines[0].rfind(L"failed Users Users (Users): ", 0), 0u)
        << Platform::WideToUtf8(events->lines[0]);
}

// A writer that refuses one attribute, as a full disk would.
class RefusingWriter : public ISaxWriter {
public:
    void StartNode(const std::wstring&, const std::wstring&) override {}
    void WriteAttribute(const std::wstring& name, const std::wstring&) override {
        if (name == L"orvexKVUserAccessLevel") {
            KV_RAISE_ERROR_CODE(L"RefusingWriter::WriteAttribute", kDiskFull);
        }
    }
    std::wstring EndNode() override { return {}; }
    static constexpr uint32_t kDiskFull = 112;
};

TEST_F(ClientExporterTest, AnObjectReadButNotWrittenIsAFailure) {
    gc->Answer(kUsers, L"(objectCategory=person)",
               {KvTest::Entry(L"CN=" + kAlice + L"," + kUsers,
                              {{L"cn", attr_value(kAlice)},
                               {L"orvexKVObjectSid", Sid(kAlice)},
                               {L"orvexKVUserAccessLevel", attr_value(L"3")}}),
                KvTest::Entry(L"CN=" + kBob + L"," + kUsers,
                              {{L"cn", attr_value(kBob)},
                               {L"orvexKVObjectSid", Sid(kBob)},
                               {L"orvexKVUserfOutputSecret", attr_value(L"TRUE")}})});
    testing::internal::CaptureStdout();
    ClientExporter exporter;
    exporter.Export(std::make_shared<RefusingWriter>(), context);
    testing::internal::GetCapturedStdout();
    // The file lacks Alice: the export must not end as a success.
    EXPECT_EQ(exporter.MissingContent(),
              L"The Client section lacks 1 object(s) or part(s) that could not be read or "
              L"written.");
    ASSERT_EQ(events->lines.size(), 2u);
    const std::wstring alice = L"failed person " + kAlice + L" (" + kAlice + L"): ";
    EXPECT_EQ(events->lines[0].rfind(alice, 0), 0u) << Platform::WideToUtf8(events->lines[0]);
    EXPECT_NE(events->lines[0].find(L" [112]"), std::wstring::npos);
    EXPECT_EQ(events->lines[1], L"exported person " + kBob + L" (" + kBob + L")");
}

TEST_F(ClientExporterTest, UnknownContainersHaveNoNodeExporter) {
    ClientExporter exporter;
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(exporter.CreateNodeExporter(L"users"), nullptr);
    EXPECT_NE(KvTest::TraceLogSince(traceStart)
                  .find(L"ClientExporter::CreateNodeExporter(users) node exporter not defined!"),
              std::wstring::npos);
}

}  // namespace
}  // namespace KvMigration
