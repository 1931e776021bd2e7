#include "storage/LdapSchema.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

std::vector<std::wstring> Names(const CObjectSchema& schema) {
    std::vector<std::wstring> names;
    for (const AttributePtr& attribute : schema.attributes) {
        names.push_back(attribute->Name());
    }
    return names;
}

const std::vector<std::wstring> BaseServer = {L"orvexKVOMSSecurityDescriptor",
                                              L"orvexKVOMSArchiveJournalSchedule",
                                              L"orvexKVOMSHttpTransportSettings",
                                              L"orvexKVOMSMailSettings",
                                              L"orvexKVOMSShedule",
                                              L"orvexKVPolicyLink"};

const std::vector<std::wstring> BaseServiceHead = {
    L"orvexKvComputerCriticalityLevel", L"orvexKVComputerHttpTransportSettings",
    L"orvexKVComputerShedule",          L"orvexKVComputerRegWSDepartement",
    L"orvexKVComputerRegWSLocation",    L"orvexKVComputerRegWSNumber",
    L"orvexKVComputerRegWSSystem",      L"orvexKVComputerQuillKeyInfoImit",
    L"orvexKVComputerQuillPlantNumber", L"orvexKVComputerQuillPublicKey",
    L"orvexKVComputerQuillSyncData",    L"orvexKVComputerQuillVK"};

const std::vector<std::wstring> StepBService = {
    L"orvexKVComputerType", L"orvexKVComputerResponsibleEmployee", L"orvexKVComputerNetworkAddress",
    L"orvexKVComputerOperatingSystem", L"orvexKVComputerDBMS"};

std::vector<std::wstring> Concat(std::vector<std::wstring> a, const std::vector<std::wstring>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SchemaCase {
    const char* title;
    SchemaVersion version;
    StorageKind storage;
    SchemaUse use;
    SchemaVersion expectedVersion;
    std::wstring policyKey;
    std::wstring containerKey;
    std::wstring serviceKey;
    std::wstring serviceParent;
    std::vector<std::wstring> server;
    std::vector<std::wstring> service;
};

TEST(LdapSchemaTest, AttributeListsFollowStorageUseAndVersion) {
    const std::vector<std::wstring> sourceTail = {L"orvexKVProductVersionMajor",
                                                  L"orvexKVProductVersionMinor"};
    const std::vector<SchemaCase> cases = {
        {"Active Directory source at the base",
         {7, 16},
         StorageKind::ActiveDirectory,
         SchemaUse::Source,
         {7, 16},
         L"objectGUID",
         L"objectGUID",
         L"objectSid",
         L"orvexKVComputerOMSSID",
         Concat(Concat(BaseServer, {L"orvexKVOMSParentSID"}), sourceTail),
         Concat(Concat(BaseServiceHead, {L"orvexKVComputerOMSSID"}), sourceTail)},
        {"LDS source at the base",
         {7, 16},
         StorageKind::Lds,
         SchemaUse::Source,
         {7, 16},
         L"objectGUID",
         L"orvexKVObjectGuid",
         L"orvexKVObjectSid",
         L"orvexKVComputerOMSSID",
         Concat(Concat(BaseServer, {L"orvexKVOMSParentSID"}), sourceTail),
         Concat(Concat(BaseServiceHead, {L"orvexKVComputerOMSSID"}), sourceTail)},
        {"LDS target at 8.19",
         {8, 19},
         StorageKind::Lds,
         SchemaUse::Target,
         {8, 19},
         L"orvexKVObjectGuid",
         L"orvexKVObjectGuid",
         L"orvexKVObjectSid",
         L"orvexKVOMSParentSID",
         Concat(BaseServer, {L"orvexKVOMSUAFilter", L"orvexKVProductBuild", L"orvexKVOMSUAFilter"}),
         Concat(Concat({L"orvexKvComputerCriticalityLevel", L"orvexKVOMSHttpTransportSettings",
                        L"orvexKVOMSShedule"},
                       {BaseServiceHead.begin() + 3, BaseServiceHead.end()}),
                Concat({L"orvexKvComputerCriticalityLevel"}, StepBService))},
        {"LDS source at 7.17 renames the shared parent in the list",
         {7, 17},
         StorageKind::Lds,
         SchemaUse::Source,
         {7, 17},
         L"orvexKVObjectGuid",
         L"orvexKVObjectGuid",
         L"orvexKVObjectSid",
         L"orvexKVOMSParentSID",
         Concat(Concat(BaseServer, {L"orvexKVOMSParentSID"}),
                Concat(sourceTail, {L"orvexKVProductBuild"})),
         Concat(Concat({L"orvexKvComputerCriticalityLevel", L"orvexKVOMSHttpTransportSettings",
                        L"orvexKVOMSShedule"},
                       {BaseServiceHead.begin() + 3, BaseServiceHead.end()}),
                Concat(Concat({L"orvexKVOMSParentSID"}, sourceTail),
                       {L"orvexKvComputerCriticalityLevel"}))},
        {"Active Directory target at 7.18",
         {7, 18},
         StorageKind::ActiveDirectory,
         SchemaUse::Target,
         {7, 18},
         L"orvexKVObjectGuid",
         L"objectGUID",
         L"orvexKVObjectSid",
         L"orvexKVOMSParentSID",
         Concat(BaseServer, {L"orvexKVOMSUAFilter", L"orvexKVProductBuild", L"orvexKVOMSUAFilter"}),
         Concat(Concat({L"orvexKvComputerCriticalityLevel", L"orvexKVOMSHttpTransportSettings",
                        L"orvexKVOMSShedule"},
                       {BaseServiceHead.begin() + 3, BaseServiceHead.end()}),
                Concat({L"orvexKvComputerCriticalityLevel"}, StepBService))},
        {"unknown version 8.20 stays the base",
         {8, 20},
         StorageKind::Lds,
         SchemaUse::Target,
         {7, 16},
         L"objectGUID",
         L"orvexKVObjectGuid",
         L"orvexKVObjectSid",
         L"orvexKVComputerOMSSID",
         Concat(BaseServer, {L"orvexKVOMSUAFilter"}),
         BaseServiceHead},
        {"version 0.0 stays the base",
         {0, 0},
         StorageKind::ActiveDirectory,
         SchemaUse::Target,
         {7, 16},
         L"objectGUID",
         L"objectGUID",
         L"objectSid",
         L"orvexKVComputerOMSSID",
         Concat(BaseServer, {L"orvexKVOMSUAFilter"}),
         BaseServiceHead},
    };
    for (const SchemaCase& c : cases) {
        SCOPED_TRACE(c.title);
        CLdapSchema schema(c.version, c.storage, c.use);
        EXPECT_EQ(schema.Version(), c.expectedVersion);
        EXPECT_EQ(schema.GetObjectSchema(KindPolicy)->keyAttribute->Name(), c.policyKey);
        EXPECT_EQ(schema.GetObjectSchema(KindContainer)->keyAttribute->Name(), c.containerKey);
        EXPECT_EQ(schema.GetObjectSchema(KindService)->keyAttribute->Name(), c.serviceKey);
        EXPECT_EQ(schema.GetObjectSchema(KindService)->parentAttribute->Name(), c.serviceParent);
        EXPECT_EQ(Names(*schema.GetObjectSchema(KindServer)), c.server);
        EXPECT_EQ(Names(*schema.GetObjectSchema(KindService)), c.service);
        EXPECT_EQ(Names(*schema.GetObjectSchema(KindPolicy)),
                  (std::vector<std::wstring>{L"orvexKVPolicyVersion", L"orvexKVPolicyRevision",
                                             L"orvexKVPolicyType", L"orvexKVPolicyBase",
                                             L"orvexKVPolicyDevices"}));
        EXPECT_EQ(Names(*schema.GetObjectSchema(KindContainer)),
                  std::vector<std::wstring>{L"orvexKVPolicyLink"});
    }
}

TEST(LdapSchemaTest, KindsCarryClassNamingAndPlace) {
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    struct Case {
        ObjectKind kind;
        const wchar_t* objectClass;
        const wchar_t* rdn;
        const wchar_t* container;
        AttributeType keyType;
    };
    const Case cases[] = {
        {KindPolicy, L"orvexKVPolicyObject", L"CN=", L"CN=Policies,CN=Korvant 5.0 Configuration,",
         AttributeType::Guid},
        {KindServer, L"orvexKVOMS", L"CN=",
         L"CN=Operational Management Servers,CN=Korvant 5.0 Configuration,", AttributeType::Sid},
        {KindService, L"computer", L"CN=", L"CN=Computers,", AttributeType::Sid},
        {KindContainer, L"organizationalUnit", L"OU=", L"CN=Organizational Units,",
         AttributeType::Guid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ObjectSchemaPtr object = schema.GetObjectSchema(c.kind);
        EXPECT_EQ(object->kind, c.kind);
        EXPECT_EQ(object->objectClass, c.objectClass);
        EXPECT_EQ(object->rdnPrefix, c.rdn);
        EXPECT_EQ(object->containerDn, c.container);
        EXPECT_EQ(object->keyAttribute->Type(), c.keyType);
    }
    EXPECT_FALSE(schema.GetObjectSchema(KindPolicy)->parentAttribute);
    EXPECT_FALSE(schema.GetObjectSchema(KindContainer)->parentAttribute);
    EXPECT_EQ(schema.GetObjectSchema(KindServer)->parentAttribute->Name(), L"orvexKVOMSParentSID");
}

TEST(LdapSchemaTest, ApplyingAVersionTwiceAppendsTwice) {
    CLdapSchema schema({7, 18}, StorageKind::Lds, SchemaUse::Target);
    const size_t serviceCount = schema.GetObjectSchema(KindService)->attributes.size();
    schema.ApplyVersion({7, 18});
    ObjectSchemaPtr service = schema.GetObjectSchema(KindService);
    EXPECT_EQ(service->attributes.size(), serviceCount + 6);
    EXPECT_EQ(schema.Version(), (SchemaVersion{7, 18}));
    // The first of the duplicates is the one found.
    EXPECT_EQ(CLdapSchema::FindAttribute(*service, L"orvexKVComputerDBMS"),
              service->attributes[serviceCount - 1]);
}

TEST(LdapSchemaTest, FindAttributeIsCaseSensitiveAndSkipsKeyOutsideList) {
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    ObjectSchemaPtr server = schema.GetObjectSchema(KindServer);
    ASSERT_TRUE(CLdapSchema::FindAttribute(*server, L"orvexKVOMSMailSettings"));
    EXPECT_FALSE(CLdapSchema::FindAttribute(*server, L"orvexkvomsmailsettings"));
    EXPECT_FALSE(CLdapSchema::FindAttribute(*server, L"orvexKVOMSSID"));
    // The parent is in a source list as the very same object, so a rename reaches both.
    EXPECT_EQ(CLdapSchema::FindAttribute(*server, L"orvexKVOMSParentSID"), server->parentAttribute);
}

TEST(LdapSchemaTest, ObjectImportRaisesThePrivateSchemaToTheStorageVersion) {
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Target);
    schema.ApplyVersion({8, 19});
    EXPECT_EQ(schema.Version(), (SchemaVersion{8, 19}));
    EXPECT_EQ(schema.GetObjectSchema(KindService)->keyAttribute->Name(), L"orvexKVObjectSid");
}

TEST(LdapSchemaTest, VersionsOrderMajorFirst) {
    EXPECT_LT((SchemaVersion{7, 17}), (SchemaVersion{7, 18}));
    EXPECT_LT((SchemaVersion{7, 99}), (SchemaVersion{8, 2}));
    EXPECT_FALSE((SchemaVersion{8, 19}) < (SchemaVersion{7, 18}));
}

}  // namespace
}  // namespace KvMigration
