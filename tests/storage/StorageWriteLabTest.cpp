// Writing product objects into the lab's target pair (schema 8.19) through the library: what a
// real server shows of the writer's rules. Every test starts from, and leaves, the seeded pair.

#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "storage/LdapData.h"
#include "storage/LdapStorage.h"
#include "support/Lab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace KvMigration {
namespace {

using KvTest::Lab;

const std::wstring kNewServerPolicy = L"a1000000-0000-4000-8000-000000000001";
const std::wstring kNewSalesPolicy = L"a1000000-0000-4000-8000-000000000002";
const std::wstring kSalesWinPolicy = L"a1000000-0000-4000-8000-000000000003";
const std::wstring kNewDevPolicy = L"a1000000-0000-4000-8000-000000000004";
const std::wstring kNewEngPolicy = L"a1000000-0000-4000-8000-000000000005";

ObjectDataPtr Record(ObjectKind kind, const std::wstring& id,
                     std::map<std::wstring, CValue> attributes = {}) {
    auto record = std::make_shared<CObjectData>();
    record->kind = kind;
    record->id = id;
    record->attributes = std::move(attributes);
    return record;
}

ObjectDataPtr Policy(const std::wstring& id, const wchar_t* source) {
    return Record(
        KindPolicy, id,
        {{L"orvexKVPolicyRevision", CValue(L"1")},
         {L"orvexKVPolicyBase", CValue(L"<Policies type=\"Basic\" guid=\"\" revision=\"1\"/>")},
         {L"source", CValue(source)}});
}

ObjectDataPtr Container(ObjectKind kind, const std::wstring& id, std::vector<std::wstring> links) {
    return Record(kind, id, {{L"orvexKVPolicyLink", CValue(std::move(links))}});
}

class StorageWriteLabTest : public testing::Test {
protected:
    void SetUp() override {
        KV_REQUIRE_LAB();
        lab.Reset({"dst-sd", "dst-gc"});
        session = lab.LdsStorage(51000);
        storage = std::make_shared<CLdapStorage>(session, lab.OmsSid());
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    MigrationContext Context() const {
        MigrationContext context;
        context.storage = session;
        context.serverSid = lab.OmsSid();
        return context;
    }
    CObjectValues Values(ObjectKind kind, const std::wstring& id,
                         std::vector<std::pair<std::wstring, CValue>> values) {
        CObjectValues result{schema.GetObjectSchema(kind), id, {}};
        for (auto& [name, value] : values) {
            AttributePtr attribute = CLdapSchema::FindAttribute(*result.schema, name);
            if (!attribute) {
                throw std::logic_error("the schema has no " + Platform::WideToUtf8(name));
            }
            result.values.emplace_back(attribute, value);
        }
        return result;
    }
    std::wstring Sd() const { return lab.WideId("DST_SD_DN"); }
    std::wstring ServerDn() const {
        return L"CN=" + lab.OmsSid() +
               L",CN=Operational Management Servers,CN=Korvant 5.0 Configuration," + Sd();
    }
    std::wstring PolicyDn(const std::wstring& id) const {
        return L"CN=" + id + L",CN=Policies,CN=Korvant 5.0 Configuration," + Sd();
    }
    std::wstring OuDn(const std::wstring& id) const {
        return L"OU=" + id + L",CN=Organizational Units," + Sd();
    }
    // The entry in the security domain (or its "-GC" copy), null when it does not exist.
    LdapHelper::object_ptr Read(const std::wstring& dn, bool globalCatalogue = false) const {
        const LdapHelper::session_ptr& s =
            globalCatalogue ? session.ldsGcSession : session.ldsSession;
        std::wstring target = globalCatalogue ? dn + L"-GC" : dn;
        return s->open_object(target.c_str(), {});
    }
    std::wstring Text(const std::wstring& dn, const wchar_t* name, bool gc = false) const {
        LdapHelper::object_ptr entry = Read(dn, gc);
        return entry ? entry->get_attr(name).to_string() : L"<no entry>";
    }
    std::vector<std::wstring> Links(const std::wstring& dn, bool gc = false) const {
        LdapHelper::object_ptr entry = Read(dn, gc);
        std::vector<std::wstring> links =
            entry ? entry->get_attr(L"orvexKVPolicyLink").to_list() : std::vector<std::wstring>();
        std::sort(links.begin(), links.end());
        return links;
    }

    const Lab& lab = Lab::Get();
    StorageSession session;
    LdapStoragePtr storage;
    CLdapSchema schema{SchemaVersion819, StorageKind::Lds, SchemaUse::Target};
};

TEST_F(StorageWriteLabTest, UpdateKeepsProtectedValuesInTheSecurityDomainAndMarksOnce) {
    for (int round = 0; round < 2; ++round) {
        storage->SetObject(Values(KindServer, lab.OmsSid(),
                                  {{L"orvexKVOMSMailSettings", CValue(L"<Mail/>")},
                                   {L"orvexKVOMSUAFilter", CValue(L"<Filter/>")}}));
    }
    EXPECT_EQ(Text(ServerDn(), L"orvexKVOMSMailSettings"), L"<Mail/>");
    EXPECT_EQ(Text(ServerDn(), L"orvexKVOMSUAFilter"), L"<Filter/>");
    EXPECT_EQ(Text(ServerDn(), L"description"), L"objectMigrated;");
    EXPECT_EQ(Text(ServerDn(), L"orvexKVOMSMailSettings", true), L"");
    EXPECT_EQ(Text(ServerDn(), L"orvexKVOMSUAFilter", true), L"<Filter/>");
    EXPECT_EQ(Text(ServerDn(), L"description", true), L"");
}

TEST_F(StorageWriteLabTest, LinksAloneNeitherCommitNorMark) {
    storage->SetObject(Values(KindServer, lab.OmsSid(),
                              {{L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"x"})}}));
    EXPECT_TRUE(Read(ServerDn())->is_absent(L"description"));
    EXPECT_EQ(Links(ServerDn()).size(), 3u);
}

TEST_F(StorageWriteLabTest, ContainersAreCreatedInTheSecurityDomainOnly) {
    const std::wstring eng = lab.WideId("GUID_OU_ENGINEERING");
    storage->CreateObject(Values(KindContainer, eng,
                                 {{L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"p"})}}),
                          false);
    EXPECT_EQ(Text(OuDn(eng), L"description"), L"objectMigrated;policyMigrated;");
    EXPECT_EQ(Read(OuDn(eng))->get_attr(L"orvexKVObjectGuid").to_guid(), GuidFromString(eng));
    EXPECT_EQ(Read(OuDn(eng), true), nullptr);
    EXPECT_THROW(storage->CreateObject(Values(KindContainer, eng, {}), false), KvBase::CKvError);
}

TEST_F(StorageWriteLabTest, PoliciesAreDeletedFromBothPartitionsAndMissingOnesSilently) {
    const std::wstring old3 = lab.WideId("DST_POLICY_OLD3");
    storage->DeletePolicy(*schema.GetObjectSchema(KindPolicy), kNewDevPolicy, true);
    storage->DeletePolicy(*schema.GetObjectSchema(KindPolicy), old3, true);
    EXPECT_EQ(Read(PolicyDn(old3)), nullptr);
    EXPECT_EQ(Read(PolicyDn(old3), true), nullptr);
}

TEST_F(StorageWriteLabTest, ServerLinksAreReplacedInBothCopies) {
    storage->SetPolicyLink(*schema.GetObjectSchema(KindServer), lab.OmsSid(),
                           {kNewDevPolicy, kNewServerPolicy});
    const std::vector<std::wstring> expected = {kNewServerPolicy, kNewDevPolicy};
    EXPECT_EQ(Links(ServerDn()), expected);
    EXPECT_EQ(Links(ServerDn(), true), expected);
    EXPECT_EQ(Text(ServerDn(), L"description"), L"policyMigrated;");
}

TEST_F(StorageWriteLabTest, AnIdentifierThatIsNoGuidNeverBecomesADn) {
    try {
        storage->CreateObject(Values(KindPolicy, L"x,CN=Policies,CN=Korvant 5.0 Configuration", {}),
                              true);
        FAIL() << "created";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(),
                  L"The identifier \"x,CN=Policies,CN=Korvant 5.0 Configuration\" of a policy is "
                  L"not a valid GUID.");
    }
    LdapHelper::object_list found = session.ldsSession->search(
        LdapHelper::query(Sd(), LdapHelper::SCOPE_SUBTREE, L"(|(cn=x)(name=x*))"), {L"cn"});
    EXPECT_TRUE(found.empty());
}

TEST_F(StorageWriteLabTest, ServiceValuesOfA716FileAreWrittenUnderThe819Names) {
    CLdapData data(Context(), SchemaVersionBase);
    data.ImportObjects({Record(KindService, lab.WideId("SID_WS01"),
                               {{L"orvexKVComputerShedule", CValue(L"<Week/>")},
                                {L"orvexKVComputerHttpTransportSettings", CValue(L"AQID")},
                                {L"orvexKVComputerRegWSNumber", CValue(L"101")},
                                {L"orvexKvComputerCriticalityLevel", CValue(L"2")}})});
    const std::wstring ws01 = L"CN=WS01,CN=Computers," + Sd();
    EXPECT_EQ(Text(ws01, L"orvexKVOMSShedule"), L"<Week/>");
    EXPECT_TRUE(Read(ws01)->is_absent(L"orvexKVComputerShedule"));
    EXPECT_EQ(Read(ws01)->get_attr(L"orvexKVOMSHttpTransportSettings").data(),
              (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Text(ws01, L"orvexKVComputerRegWSNumber"), L"101");
    EXPECT_EQ(Text(ws01, L"orvexKvComputerCriticalityLevel"), L"2");
    EXPECT_EQ(Text(ws01, L"description"), L"objectMigrated;");
    // The global-catalogue copy gets everything but the protected settings.
    EXPECT_EQ(Text(ws01, L"orvexKVComputerRegWSNumber", true), L"101");
    EXPECT_TRUE(Read(ws01, true)->is_absent(L"orvexKVOMSShedule"));
    EXPECT_TRUE(Read(ws01, true)->is_absent(L"orvexKVOMSHttpTransportSettings"));
}

TEST_F(StorageWriteLabTest, PoliciesAreRebuiltPerContainerWithTheirWinners) {
    const std::wstring sales = lab.WideId("GUID_OU_SALES");
    const std::wstring dev = lab.WideId("GUID_OU_DEV");
    const std::wstring eng = lab.WideId("GUID_OU_ENGINEERING");
    ObjectDataMap containers = {
        {lab.OmsSid(), Container(KindServer, lab.OmsSid(), {kNewServerPolicy})},
        {sales, Container(KindContainer, sales, {kSalesWinPolicy, kNewSalesPolicy})},
        {dev, Container(KindContainer, dev, {kNewDevPolicy})},
        {eng, Container(KindContainer, eng, {kNewEngPolicy})},
    };
    ObjectDataMap policies = {
        {kNewServerPolicy, Policy(kNewServerPolicy, L"kv")},
        {kNewSalesPolicy, Policy(kNewSalesPolicy, L"kv")},
        {kSalesWinPolicy, Policy(kSalesWinPolicy, L"win")},
        {kNewDevPolicy, Policy(kNewDevPolicy, L"kv")},
        {kNewEngPolicy, Policy(kNewEngPolicy, L"kv")},
    };
    CLdapData data(Context(), SchemaVersionBase);
    EXPECT_EQ(data.ImportPolicies(containers, policies, true), 4);

    // Each container numbers on from its own old product policies; typed ones do not count.
    EXPECT_EQ(Text(PolicyDn(kNewServerPolicy), L"orvexKVPolicyVersion"), L"6");
    EXPECT_EQ(Text(PolicyDn(kNewServerPolicy), L"orvexKVPolicyVersion", true), L"6");
    EXPECT_EQ(Text(PolicyDn(kNewSalesPolicy), L"orvexKVPolicyVersion"), L"3");
    EXPECT_EQ(Text(PolicyDn(kNewDevPolicy), L"orvexKVPolicyVersion"), L"1");
    EXPECT_EQ(Text(PolicyDn(kNewEngPolicy), L"orvexKVPolicyVersion"), L"1");
    EXPECT_EQ(Read(PolicyDn(kSalesWinPolicy)), nullptr);

    for (const char* old : {"DST_POLICY_OLD3", "DST_POLICY_OLD5"}) {
        EXPECT_EQ(Read(PolicyDn(lab.WideId(old))), nullptr) << old;
        EXPECT_EQ(Read(PolicyDn(lab.WideId(old)), true), nullptr) << old;
    }
    EXPECT_NE(Read(PolicyDn(lab.WideId("DST_POLICY_TEMPLATE"))), nullptr);
    EXPECT_EQ(Read(PolicyDn(lab.WideId("DST_POLICY_SALES_OLD"))), nullptr);

    EXPECT_EQ(Links(ServerDn()), (std::vector<std::wstring>{kNewServerPolicy}));
    EXPECT_EQ(Links(ServerDn(), true), (std::vector<std::wstring>{kNewServerPolicy}));
    EXPECT_EQ(Links(OuDn(sales)), (std::vector<std::wstring>{kNewSalesPolicy}));
    EXPECT_EQ(Links(OuDn(eng)), (std::vector<std::wstring>{kNewEngPolicy}));
    EXPECT_EQ(Text(OuDn(eng), L"description"), L"objectMigrated;policyMigrated;");
    EXPECT_EQ(Text(OuDn(dev), L"description"), L"policyMigrated;");
}

TEST_F(StorageWriteLabTest, WindowsPriorityKeepsTheGroupPolicyOne) {
    const std::wstring sales = lab.WideId("GUID_OU_SALES");
    CLdapData data(Context(), SchemaVersionBase);
    EXPECT_EQ(data.ImportPolicies(
                  {{sales, Container(KindContainer, sales, {kSalesWinPolicy, kNewSalesPolicy})}},
                  {{kNewSalesPolicy, Policy(kNewSalesPolicy, L"kv")},
                   {kSalesWinPolicy, Policy(kSalesWinPolicy, L"win")}},
                  false),
              1);
    EXPECT_EQ(Links(OuDn(sales)), (std::vector<std::wstring>{kSalesWinPolicy}));
    EXPECT_EQ(Read(PolicyDn(kNewSalesPolicy)), nullptr);
    EXPECT_EQ(Text(PolicyDn(kSalesWinPolicy), L"orvexKVPolicyVersion"), L"3");
}

}  // namespace
}  // namespace KvMigration
