#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "storage/LdapStorage.h"
#include "support/Lab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace KvMigration {
namespace {

using KvTest::Lab;

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

std::set<std::wstring> Ids(const std::vector<CLdapObject>& objects) {
    std::set<std::wstring> ids;
    for (const CLdapObject& object : objects) {
        ids.insert(object.id);
    }
    return ids;
}

// The seeded objects are there and the excluded ones are not; batches that lab/seed-bench adds
// may stand beside them.
void ExpectSeeded(const std::vector<CLdapObject>& objects, const std::set<std::wstring>& seeded,
                  const std::set<std::wstring>& excluded = {}) {
    std::set<std::wstring> ids = Ids(objects);
    for (const std::wstring& id : seeded) {
        EXPECT_EQ(ids.count(id), 1u) << Platform::WideToUtf8(id) << " missing";
    }
    for (const std::wstring& id : excluded) {
        EXPECT_EQ(ids.count(id), 0u) << Platform::WideToUtf8(id) << " returned";
    }
}

std::wstring NameOf(const std::vector<CLdapObject>& objects, const std::wstring& id) {
    for (const CLdapObject& object : objects) {
        if (object.id == id) {
            return object.name;
        }
    }
    return L"<missing>";
}

class StorageLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    const Lab& lab = Lab::Get();
};

TEST_F(StorageLabTest, SourcePairKeepsTheGlobalCatalogueSuffix) {
    CLdapStorage storage(lab.LdsStorage(50000), lab.OmsSid());
    EXPECT_EQ(storage.GetSchemaVersion(), (SchemaVersion{7, 16}));
    EXPECT_EQ(storage.GetProductVersion(), (SchemaVersion{8, 1}));
    EXPECT_EQ(Lower(storage.SecurityDomainDn()), Lower(lab.WideId("SRC_GC_SD_DN")));
    EXPECT_EQ(storage.SecurityDomainId(), lab.WideId("SRC_SD_ID"));
    EXPECT_EQ(storage.DomainGuid(), lab.WideId("AD_DOMAIN_GUID"));
    EXPECT_EQ(storage.DomainCanonicalName(), L"corp.local/");
}

TEST_F(StorageLabTest, TargetPairDropsTheGlobalCatalogueSuffix) {
    StorageSession session = lab.LdsStorage(51000);
    CLdapStorage storage(session, lab.OmsSid());
    EXPECT_EQ(storage.GetSchemaVersion(), (SchemaVersion{8, 19}));
    EXPECT_EQ(Lower(storage.SecurityDomainDn()), Lower(lab.WideId("DST_SD_DN")));
    EXPECT_EQ(storage.SecurityDomainId(), lab.WideId("DST_SD_ID"));
    EXPECT_EQ(storage.GetObjectSession(), session.ldsSession);
}

TEST_F(StorageLabTest, SourcePairYieldsTheGivenServerAndItsAgents) {
    CLdapStorage storage(lab.LdsStorage(50000), lab.OmsSid());
    CLdapSchema schema(storage.GetSchemaVersion(), StorageKind::Lds, SchemaUse::Source);

    std::vector<CLdapObject> servers = storage.GetLdapObjects(*schema.GetObjectSchema(KindServer));
    EXPECT_EQ(Ids(servers), std::set<std::wstring>{lab.OmsSid()});
    EXPECT_EQ(NameOf(servers, lab.OmsSid()), L"kvoms.corp.local");

    // A service whose SID no Active Directory account has. The seed's own such service may
    // meet a computer of a benchmark batch, so the test brings one of its own and removes it.
    const std::wstring ghost = L"S-1-5-21-1-2-3-4242";
    LdapHelper::session_ptr gc = lab.Open(lab.Env().Get("KV_LAB_LDS_HOST"), 50002, 50003);
    const std::wstring ghostDn = L"CN=KVTESTGHOST,CN=Computers," + storage.SecurityDomainDn();
    LdapHelper::object_ptr added = gc->add_object(ghostDn.c_str(), L"computer");
    added->set_attr(L"sAMAccountName", LdapHelper::attr_value(L"KVTESTGHOST$"));
    added->set_attr(L"orvexKVObjectSid", LdapHelper::attr_value(StringToSid(ghost)));
    added->set_attr(L"orvexKVComputerfAgent", LdapHelper::attr_value(true));
    added->set_attr(L"orvexKVComputerOMSSID", LdapHelper::attr_value(StringToSid(lab.OmsSid())));
    added->commit();
    struct Remove {
        LdapHelper::session_ptr session;
        std::wstring dn;
        ~Remove() { session->remove_object(dn.c_str()); }
    } remove{gc, ghostDn};

    testing::internal::CaptureStderr();
    std::vector<CLdapObject> services =
        storage.GetLdapObjects(*schema.GetObjectSchema(KindService));
    std::string console = testing::internal::GetCapturedStderr();
    ExpectSeeded(services,
                 {lab.WideId("SID_WS01"), lab.WideId("SID_WS02"), lab.WideId("SID_WS03"),
                  lab.WideId("SID_WS04")},
                 {lab.WideId("SID_WS05"), lab.WideId("SID_WS06"), ghost});
    EXPECT_EQ(NameOf(services, lab.WideId("SID_WS03")), L"ws03.corp.local");
    EXPECT_NE(
        console.find("Object " + Platform::WideToUtf8(ghost) + " not found in Active Directory\n"),
        std::string::npos)
        << console;

    try {
        storage.GetLdapObjects(*schema.GetObjectSchema(KindService), NotFoundMode::Raise);
        ADD_FAILURE() << "no error";
    } catch (const KvBase::CKvError& e) {
        // The first service without a computer raises; the seed may hold one besides ours.
        const std::wstring& text = e.Description();
        EXPECT_EQ(text.rfind(L"Object S-1-5-21-", 0), 0u) << Platform::WideToUtf8(text);
        EXPECT_TRUE(text.ends_with(L" not found in Active Directory"))
            << Platform::WideToUtf8(text);
    }
}

TEST_F(StorageLabTest, SourcePairYieldsEveryPolicyAndLinkedContainer) {
    CLdapStorage storage(lab.LdsStorage(50000), lab.OmsSid());
    CLdapSchema schema(storage.GetSchemaVersion(), StorageKind::Lds, SchemaUse::Source);

    std::vector<CLdapObject> policies = storage.GetLdapObjects(*schema.GetObjectSchema(KindPolicy));
    std::set<std::wstring> expected;
    for (const char* key :
         {"SRC_POLICY_SERVER", "SRC_POLICY_SALES", "SRC_POLICY_DEV", "SRC_POLICY_DOMAIN",
          "SRC_POLICY_TEMPLATE", "SRC_POLICY_UNLINKED", "SRC_POLICY_ORPHAN"}) {
        expected.insert(lab.WideId(key));
    }
    ExpectSeeded(policies, expected);
    EXPECT_EQ(NameOf(policies, lab.WideId("SRC_POLICY_SALES")), L"");

    testing::internal::CaptureStderr();
    std::vector<CLdapObject> containers =
        storage.GetLdapObjects(*schema.GetObjectSchema(KindContainer));
    std::string console = testing::internal::GetCapturedStderr();
    ExpectSeeded(
        containers,
        {lab.WideId("GUID_OU_SALES"), lab.WideId("GUID_OU_DEV"), lab.WideId("AD_DOMAIN_GUID")},
        {lab.WideId("ORPHAN_OU_GUID")});
    EXPECT_EQ(NameOf(containers, lab.WideId("GUID_OU_SALES")), L"Sales");
    EXPECT_NE(console.find(lab.Id("ORPHAN_OU_GUID") + " not found in Active Directory"),
              std::string::npos)
        << console;
}

TEST_F(StorageLabTest, SourcePairContainersJoinBothKindsOfLinks) {
    CLdapStorage storage(lab.LdsStorage(50000), lab.OmsSid());
    ObjectDataMap containers = storage.GetContainers();

    EXPECT_EQ(containers.count(lab.WideId("ORPHAN_OU_GUID")), 0u);
    ASSERT_EQ(containers.count(lab.WideId("GUID_OU_SALES")), 1u);
    const CObjectData& sales = *containers.at(lab.WideId("GUID_OU_SALES"));
    EXPECT_EQ(sales.kind, KindContainer);
    EXPECT_EQ(sales.name, L"Sales");
    EXPECT_EQ(sales.canonicalName, L"corp.local/Sales");
    EXPECT_EQ(sales.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{lab.WideId("SRC_POLICY_SALES"),
                                               lab.WideId("SRC_POLICY_TEMPLATE")}));
    EXPECT_EQ(sales.attributes.at(L"gPLink"),
              CValue(L"[LDAP://cn=" + lab.WideId("GPO_SALES") + L",cn=policies,cn=system," +
                     Platform::Utf8ToWide(lab.Env().Get("KV_LAB_AD_NC")) + L";0]"));

    const CObjectData& dev = *containers.at(lab.WideId("GUID_OU_DEV"));
    EXPECT_EQ(dev.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{lab.WideId("SRC_POLICY_DEV")}));
    EXPECT_EQ(dev.attributes.at(L"gPLink"), CValue(L""));

    const CObjectData& engineering = *containers.at(lab.WideId("GUID_OU_ENGINEERING"));
    EXPECT_EQ(engineering.name, L"Engineering");
    EXPECT_EQ(engineering.attributes.count(L"orvexKVPolicyLink"), 0u);
    EXPECT_FALSE(engineering.attributes.at(L"gPLink").IsEmpty());

    const CObjectData& domain = *containers.at(lab.WideId("AD_DOMAIN_GUID"));
    EXPECT_EQ(domain.canonicalName, L"corp.local/");
    EXPECT_EQ(domain.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{lab.WideId("SRC_POLICY_DOMAIN")}));
}

TEST_F(StorageLabTest, SingleObjectsAreFoundByTheirIdentifiers) {
    CLdapStorage storage(lab.LdsStorage(50000), lab.OmsSid());
    CLdapSchema schema(storage.GetSchemaVersion(), StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);

    LdapObjectPtr ws01 = storage.GetLdapObject(services, lab.WideId("SID_WS01"));
    ASSERT_NE(ws01, nullptr);
    EXPECT_EQ(ws01->name, L"ws01.corp.local");
    EXPECT_EQ(ws01->entry->get_attr(L"orvexKVComputerRegWSDepartement").to_string(), L"Sales");
    // WS05 is an agent of the other server, so it is not this migration's service.
    EXPECT_EQ(storage.GetLdapObject(services, lab.WideId("SID_WS05")), nullptr);
    EXPECT_EQ(storage.GetLdapObject(services, L"*"), nullptr);

    const CObjectSchema& policies = *schema.GetObjectSchema(KindPolicy);
    const std::wstring policy = lab.WideId("SRC_POLICY_DEV");
    EXPECT_EQ(Lower(storage.RealObjectDn(policies, policy)),
              Lower(L"CN=" + policy + L",CN=Policies,CN=Korvant 5.0 Configuration," +
                    lab.WideId("SRC_GC_SD_DN")));
}

TEST_F(StorageLabTest, ActiveDirectoryStorageYieldsItsProductObjects) {
    CLdapStorage storage(lab.AdStorage(), lab.OmsSid());
    EXPECT_EQ(storage.GetSchemaVersion(), (SchemaVersion{7, 16}));
    EXPECT_EQ(storage.SecurityDomainDn(), L"");
    CLdapSchema schema(storage.GetSchemaVersion(), StorageKind::ActiveDirectory, SchemaUse::Source);

    EXPECT_EQ(Ids(storage.GetLdapObjects(*schema.GetObjectSchema(KindServer))),
              std::set<std::wstring>{lab.OmsSid()});
    std::vector<CLdapObject> services =
        storage.GetLdapObjects(*schema.GetObjectSchema(KindService));
    EXPECT_EQ(Ids(services),
              (std::set<std::wstring>{lab.WideId("SID_WS01"), lab.WideId("SID_WS02")}));
    EXPECT_EQ(NameOf(services, lab.WideId("SID_WS02")), L"ws02.corp.local");
    EXPECT_EQ(Ids(storage.GetLdapObjects(*schema.GetObjectSchema(KindPolicy))),
              (std::set<std::wstring>{lab.WideId("AD_POLICY_SERVER"), lab.WideId("AD_POLICY_SALES"),
                                      lab.WideId("AD_POLICY_DOMAIN")}));

    // Every organisational unit and the domain are containers; the domain's own objects have
    // names of their own.
    std::vector<CLdapObject> units = storage.GetLdapObjects(*schema.GetObjectSchema(KindContainer));
    std::set<std::wstring> unitIds = Ids(units);
    for (const char* key : {"GUID_OU_SALES", "GUID_OU_ENGINEERING", "GUID_OU_DEV",
                            "GUID_OU_FINANCE", "AD_DOMAIN_GUID"}) {
        EXPECT_EQ(unitIds.count(lab.WideId(key)), 1u) << key;
    }
    EXPECT_EQ(NameOf(units, lab.WideId("GUID_OU_FINANCE")), L"Finance");

    ObjectDataMap containers = storage.GetContainers();
    const CObjectData& sales = *containers.at(lab.WideId("GUID_OU_SALES"));
    EXPECT_EQ(sales.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{lab.WideId("AD_POLICY_SALES")}));
    EXPECT_FALSE(sales.attributes.at(L"gPLink").IsEmpty());
    const CObjectData& engineering = *containers.at(lab.WideId("GUID_OU_ENGINEERING"));
    EXPECT_TRUE(engineering.attributes.at(L"orvexKVPolicyLink").IsEmpty());
    EXPECT_FALSE(engineering.attributes.at(L"gPLink").IsEmpty());
    const CObjectData& domain = *containers.at(lab.WideId("AD_DOMAIN_GUID"));
    EXPECT_EQ(domain.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{lab.WideId("AD_POLICY_DOMAIN")}));
    EXPECT_EQ(containers.count(lab.WideId("GUID_OU_FINANCE")), 0u);
}

}  // namespace
}  // namespace KvMigration
