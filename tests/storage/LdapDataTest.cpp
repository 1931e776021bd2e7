#include "storage/LdapData.h"

#include "storage/JournalEvents.h"
#include "storage/StorageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

using namespace KvStorageTest;
using Lines = std::vector<std::wstring>;

const std::wstring kRoot = LdsStorageFixture::Root();

ObjectDataPtr Record(ObjectKind kind, const std::wstring& id,
                     std::map<std::wstring, CValue> attributes = {}) {
    auto record = std::make_shared<CObjectData>();
    record->kind = kind;
    record->id = id;
    record->attributes = std::move(attributes);
    return record;
}

CValue List(std::vector<std::wstring> texts) {
    return CValue(std::move(texts));
}

std::wstring PolicyDn(const std::wstring& id) {
    return L"CN=" + id + L",CN=Policies,CN=Korvant 5.0 Configuration," + kRoot;
}

// A facade over a fake target storage at 8.19 that imports a file written at 7.16.
class LdapDataTest : public testing::Test {
public:
    LdapDataTest() : lab({8, 19}), target({8, 19}, StorageKind::Lds, SchemaUse::Target) {}

    CLdapData Facade() {
        return CLdapData(std::make_shared<CLdapStorage>(lab.Session(), kServer), SchemaUse::Target);
    }
    CLdapData ImportFacade() {
        MigrationContext context = journaled;
        context.storage = lab.Session();
        context.serverSid = kServer;
        return CLdapData(context, SchemaVersionBase);
    }

    // A container of the target with its policy links, known to Active Directory.
    void PutContainer(const std::wstring& id, std::vector<std::wstring> links) {
        const std::wstring dn = L"OU=" + id + L",CN=Organizational Units," + kRoot;
        std::map<std::wstring, attr_value> values = {{L"orvexKVObjectGuid", Guid(id)}};
        if (!links.empty()) {
            values[L"orvexKVPolicyLink"] = attr_value(LdapHelper::attr_list(links));
        }
        lab.PutObject(*target.GetObjectSchema(KindContainer), id, dn, values, false);
        lab.ad->Answer(L"", GuidFilter(id),
                       {Entry(L"OU=x,DC=corp,DC=local", {{L"name", attr_value(L"x")}})});
    }
    void PutPolicy(const std::wstring& id, int32_t version, const std::wstring& type = L"") {
        std::map<std::wstring, attr_value> values = {
            {L"orvexKVObjectGuid", Guid(id)}, {L"orvexKVPolicyVersion", attr_value(version)}};
        if (!type.empty()) {
            values[L"orvexKVPolicyType"] = attr_value(type);
        }
        lab.PutObject(*target.GetObjectSchema(KindPolicy), id, PolicyDn(id), values);
    }
    int32_t VersionOf(const std::wstring& policy) {
        return lab.sd->Value(PolicyDn(policy), L"orvexKVPolicyVersion").to_int();
    }

    LdsStorageFixture lab;
    CLdapSchema target;
    MigrationContext journaled;
    std::shared_ptr<JournalEvents> events = JournalEvents::Of(journaled);
};

const std::wstring kOuA = L"aaaaaaaa-0000-4000-8000-000000000001";
const std::wstring kOuB = L"bbbbbbbb-0000-4000-8000-000000000002";
const std::wstring kOld3 = L"00000003-0000-4000-8000-000000000000";
const std::wstring kOld5 = L"00000005-0000-4000-8000-000000000000";
const std::wstring kTyped = L"00000009-0000-4000-8000-000000000000";
const std::wstring kNewA = L"0000000a-0000-4000-8000-00000000000a";
const std::wstring kNewB = L"0000000b-0000-4000-8000-00000000000b";
const std::wstring kWin = L"0000000c-0000-4000-8000-00000000000c";

TEST_F(LdapDataTest, AttributesTheEntryLacksStayEmpty) {
    const std::wstring service = L"S-1-5-21-1-2-3-1104";
    lab.PutObject(*target.GetObjectSchema(KindService), service, L"CN=WS1,CN=Computers," + kRoot,
                  {{L"orvexKVObjectSid", Sid(service)},
                   {L"orvexKVComputerType", attr_value(L"Server")},
                   {L"orvexKVOMSHttpTransportSettings", attr_value(std::vector<uint8_t>{1, 2})},
                   {L"description", attr_value(L"objectMigrated;")}});
    lab.ad->Answer(
        L"", L"(objectSid=" + service + L")",
        {Entry(L"CN=WS1", {{L"dNSHostName", attr_value(L"ws1.corp.local")},
                           {L"canonicalName", attr_value(L"corp.local/Computers/WS1")}})});
    ObjectDataPtr record = Facade().GetSingleObject(KindService, service);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name, L"ws1.corp.local");
    EXPECT_TRUE(record->objectMigrated);
    EXPECT_FALSE(record->policyMigrated);
    EXPECT_EQ(record->attributes.at(L"orvexKVComputerType"), CValue(L"Server"));
    EXPECT_EQ(record->attributes.at(L"orvexKVOMSHttpTransportSettings"), CValue(L"AQI="));
    // Absent integers are not "0", absent strings not "": nothing the import would write.
    EXPECT_EQ(record->attributes.at(L"orvexKvComputerCriticalityLevel"), CValue());
    EXPECT_EQ(record->attributes.at(L"orvexKVComputerDBMS"), CValue());
    EXPECT_EQ(Facade().GetSingleObject(KindService, L"S-1-5-21-1-2-3-1105"), nullptr);
}

TEST_F(LdapDataTest, ValuesOfAnOlderFileAreWrittenUnderTheStorageNames) {
    const std::wstring service = L"S-1-5-21-1-2-3-1104";
    const std::wstring dn = L"CN=WS1,CN=Computers," + kRoot;
    CLdapSchema fileSchema(SchemaVersionBase, StorageKind::Lds, SchemaUse::Target);
    fileSchema.ApplyVersion({8, 19});
    lab.PutObject(*fileSchema.GetObjectSchema(KindService), service, dn);
    ImportFacade().ImportObjects({Record(KindService, service,
                                         {{L"orvexKVComputerShedule", CValue(L"<Week/>")},
                                          {L"orvexKVComputerRegWSNumber", CValue(L"101")},
                                          {L"source", CValue(L"dropped")}})});
    EXPECT_EQ(lab.sd->Value(dn, L"orvexKVOMSShedule").to_string(), L"<Week/>");
    EXPECT_TRUE(lab.sd->Value(dn, L"orvexKVComputerShedule").empty());
    EXPECT_EQ(lab.sd->Value(dn, L"orvexKVComputerRegWSNumber").to_string(), L"101");
    EXPECT_TRUE(lab.gc->Value(dn + L"-GC", L"orvexKVOMSShedule").empty());
    EXPECT_EQ(lab.gc->Value(dn + L"-GC", L"orvexKVComputerRegWSNumber").to_string(), L"101");
    EXPECT_EQ(events->lines, Lines{L"updated Service " + service});
}

TEST_F(LdapDataTest, NewPoliciesNumberOnFromTheirOwnContainersOldPolicies) {
    PutPolicy(kOld3, 3);
    PutPolicy(kOld5, 5);
    PutPolicy(kTyped, 9, L"Template");
    PutContainer(kOuA, {kOld3, kOld5, kTyped});
    PutContainer(kOuB, {});
    ObjectDataMap containers = {
        {kOuA, Record(KindContainer, kOuA, {{L"orvexKVPolicyLink", List({kNewA})}})},
        {kOuB, Record(KindContainer, kOuB, {{L"orvexKVPolicyLink", List({kNewB})}})}};
    ObjectDataMap policies = {{kNewA, Record(KindPolicy, kNewA, {{L"source", CValue(L"kv")}})},
                              {kNewB, Record(KindPolicy, kNewB, {{L"source", CValue(L"kv")}})}};

    EXPECT_EQ(ImportFacade().ImportPolicies(containers, policies, true), 2);

    EXPECT_EQ(VersionOf(kNewA), 6);
    // The maximum starts again for every container: B had no old policies.
    EXPECT_EQ(VersionOf(kNewB), 1);
    EXPECT_FALSE(lab.sd->Has(PolicyDn(kOld3)));
    // Only a server's old policies leave the global catalogue as well.
    EXPECT_TRUE(lab.gc->Has(PolicyDn(kOld5) + L"-GC"));
    EXPECT_TRUE(lab.sd->Has(PolicyDn(kTyped)));
    EXPECT_TRUE(lab.gc->Has(PolicyDn(kNewA) + L"-GC"));
    const std::wstring ouA = L"OU=" + kOuA + L",CN=Organizational Units," + kRoot;
    EXPECT_EQ(lab.sd->Value(ouA, L"orvexKVPolicyLink").to_list(), (LdapHelper::attr_list{kNewA}));
    EXPECT_EQ(events->lines, (Lines{
                                 L"deleted Policy " + kOld3,
                                 L"deleted Policy " + kOld5,
                                 L"updated Container " + kOuA + L": policy links rebuilt",
                                 L"created Policy " + kNewA,
                                 L"updated Container " + kOuB + L": policy links rebuilt",
                                 L"created Policy " + kNewB,
                             }));
}

TEST_F(LdapDataTest, AFilePolicyAnEarlierImportMadeIsMadeAgain) {
    // A forced re-import: the container links the typed policy an earlier import made from the
    // same file, which the deletion of old policies keeps.
    PutPolicy(kOld3, 3);
    PutPolicy(kTyped, 4, L"Template");
    PutContainer(kOuA, {kOld3, kTyped});
    ObjectDataMap containers = {
        {kOuA, Record(KindContainer, kOuA, {{L"orvexKVPolicyLink", List({kTyped})}})}};
    ObjectDataMap policies = {{kTyped, Record(KindPolicy, kTyped,
                                              {{L"source", CValue(L"kv")},
                                               {L"orvexKVPolicyType", CValue(L"Template")}})}};

    EXPECT_EQ(ImportFacade().ImportPolicies(containers, policies, true), 1);

    EXPECT_FALSE(lab.sd->Has(PolicyDn(kOld3)));
    EXPECT_EQ(VersionOf(kTyped), 4);
    EXPECT_TRUE(lab.gc->Has(PolicyDn(kTyped) + L"-GC"));
    const std::wstring ouA = L"OU=" + kOuA + L",CN=Organizational Units," + kRoot;
    EXPECT_EQ(lab.sd->Value(ouA, L"orvexKVPolicyLink").to_list(), (LdapHelper::attr_list{kTyped}));
    // Made again in place of the one the target held: an update.
    EXPECT_EQ(events->lines, (Lines{
                                 L"deleted Policy " + kOld3,
                                 L"updated Container " + kOuA + L": policy links rebuilt",
                                 L"updated Policy " + kTyped,
                             }));
}

TEST_F(LdapDataTest, PriorityDecidesBetweenProductAndGroupPolicies) {
    for (bool kvPriority : {true, false}) {
        SCOPED_TRACE(kvPriority ? "product priority" : "Windows priority");
        lab = LdsStorageFixture({8, 19});
        events->lines.clear();
        PutContainer(kOuA, {});
        ObjectDataMap containers = {
            {kOuA,
             Record(KindContainer, kOuA, {{L"orvexKVPolicyLink", List({kWin, kNewA, kWin})}})}};
        ObjectDataMap policies = {{kNewA, Record(KindPolicy, kNewA, {{L"source", CValue(L"kv")}})},
                                  {kWin, Record(KindPolicy, kWin, {{L"source", CValue(L"win")}})}};
        EXPECT_EQ(ImportFacade().ImportPolicies(containers, policies, kvPriority), 1);
        const std::wstring kept = kvPriority ? kNewA : kWin;
        const std::wstring dropped = kvPriority ? kWin : kNewA;
        EXPECT_TRUE(lab.sd->Has(PolicyDn(kept)));
        EXPECT_FALSE(lab.sd->Has(PolicyDn(dropped)));
        const std::wstring ou = L"OU=" + kOuA + L",CN=Organizational Units," + kRoot;
        LdapHelper::attr_list expected =
            kvPriority ? LdapHelper::attr_list{kNewA} : LdapHelper::attr_list{kWin, kWin};
        EXPECT_EQ(lab.sd->Value(ou, L"orvexKVPolicyLink").to_list(), expected);
        EXPECT_EQ(
            events->lines,
            (Lines{L"skipped Policy " + dropped +
                       (kvPriority ? L": the container's product policies have priority (-kvpol)"
                                   : L": the container's group policies have priority (-winpol)"),
                   L"updated Container " + kOuA + L": policy links rebuilt",
                   L"created Policy " + kept}));
    }
}

// The program's hooks turn a directory's refusal into the error object with the result code.
class ErrorObjectHook : public LdapHelper::IExceptionHandler {
public:
    ErrorObjectHook() { LdapHelper::set_exception_handler(this); }
    ~ErrorObjectHook() { LdapHelper::set_exception_handler(nullptr); }
    void handle(uint32_t code, const std::string&, const char*, int32_t) override {
        KV_RAISE_ERROR_CODE(L"FakeDirectory", code);
    }
};

TEST_F(LdapDataTest, ARefusedWriteIsRecordedForItsObjectBeforeItEndsTheImport) {
    ErrorObjectHook hook;
    const std::wstring ouA = L"OU=" + kOuA + L",CN=Organizational Units," + kRoot;
    struct Case {
        const char* title;
        std::wstring operation;
        std::wstring dn;
        Lines done;           // the events before the failure
        std::wstring failed;  // the kind and identifier of the failure's event
    };
    const std::vector<Case> cases = {
        {"the deletion of an old policy", L"delete", PolicyDn(kOld3), {}, L"Policy " + kOld3},
        {"the relink of the container",
         L"modify",
         ouA,
         {L"deleted Policy " + kOld3},
         L"Container " + kOuA},
        {"the creation of a file policy",
         L"add",
         PolicyDn(kNewA),
         {L"deleted Policy " + kOld3, L"updated Container " + kOuA + L": policy links rebuilt"},
         L"Policy " + kNewA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        lab = LdsStorageFixture({8, 19});
        events->lines.clear();
        PutPolicy(kOld3, 3);
        PutContainer(kOuA, {kOld3});
        lab.sd->FailOn(c.operation, c.dn, 53);
        const std::wstring error = ErrorText([&] {
            ImportFacade().ImportPolicies(
                {{kOuA, Record(KindContainer, kOuA, {{L"orvexKVPolicyLink", List({kNewA})}})}},
                {{kNewA, Record(KindPolicy, kNewA, {{L"source", CValue(L"kv")}})}}, true);
        });
        Lines expected = c.done;
        expected.push_back(L"failed " + c.failed + L": " + error + L" [53]");
        EXPECT_EQ(events->lines, expected);
    }
}

TEST_F(LdapDataTest, ImportFailuresNameTheirCause) {
    struct Case {
        const char* title;
        std::function<void(LdapDataTest&)> act;
        uint32_t code;
        std::wstring message;
        std::wstring failed;  // the kind and identifier the journal names
    };
    const std::vector<Case> cases = {
        {"a container record among the objects",
         [](LdapDataTest& t) { t.ImportFacade().ImportObjects({Record(KindContainer, kOuA)}); }, 87,
         L"", L"Container " + kOuA},
        {"a policy record among the objects",
         [](LdapDataTest& t) { t.ImportFacade().ImportObjects({Record(KindPolicy, kNewA)}); }, 87,
         L"", L"Policy " + kNewA},
        {"a link to a policy the file lacks",
         [](LdapDataTest& t) {
             t.ImportFacade().ImportPolicies(
                 {{kOuA, Record(KindContainer, kOuA, {{L"orvexKVPolicyLink", List({kNewA})}})}}, {},
                 true);
         },
         0x80004005, L"Policy " + kNewA + L" not found in backup", L"Container " + kOuA},
        {"a linked server the storage lacks",
         [](LdapDataTest& t) {
             t.ImportFacade().ImportPolicies({{kServer, Record(KindServer, kServer)}}, {}, true);
         },
         0x80004005, L"Server not found.", L"Server " + kServer},
        {"a linked object of another kind the storage lacks",
         [](LdapDataTest& t) {
             t.ImportFacade().ImportPolicies(
                 {{L"S-1-5-21-1-2-3-1104", Record(KindService, L"S-1-5-21-1-2-3-1104")}}, {}, true);
         },
         13, L"", L"Service S-1-5-21-1-2-3-1104"},
        {"a service the storage lacks",
         [](LdapDataTest& t) {
             t.ImportFacade().ImportObjects({Record(KindService, L"S-1-5-21-1-2-3-1105")});
         },
         0x80004005, L"Object S-1-5-21-1-2-3-1105 not found", L"Service S-1-5-21-1-2-3-1105"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        events->lines.clear();
        uint32_t code = 0;
        std::wstring message;
        try {
            c.act(*this);
        } catch (const KvBase::CKvError& e) {
            code = e.Code();
            message = e.Description();
        }
        EXPECT_EQ(code, c.code);
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message);
        }
        EXPECT_TRUE(lab.sd->Writes().empty());
        EXPECT_EQ(events->lines, Lines{L"failed " + c.failed + L": " + message + L" [" +
                                       JournalEvents::Code(code) + L"]"});
    }
}

}  // namespace
}  // namespace KvMigration
