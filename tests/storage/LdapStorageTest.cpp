#include "storage/LdapStorage.h"

#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "storage/ObjectFilter.h"
#include "storage/StorageFixture.h"
#include "support/FakeDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

using KvTest::Entry;
using KvTest::FakeSession;
using LdapHelper::attr_value;
using namespace KvStorageTest;

TEST(LdapStorageTest, LdsStorageAtTheBaseReadsThroughTheGlobalCatalogue) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    EXPECT_EQ(storage.GetSchemaVersion(), (SchemaVersion{7, 16}));
    EXPECT_EQ(storage.GetProductVersion(), (SchemaVersion{5, 3}));
    EXPECT_EQ(storage.SecurityDomainDn(), L"CN={5A5A},DC=Korvant-GC");
    EXPECT_EQ(storage.SecurityDomainId(), L"5A5A");
    EXPECT_EQ(storage.DomainGuid(), kDomainGuid);
    EXPECT_EQ(storage.DomainCanonicalName(), L"corp.local/");
    EXPECT_EQ(storage.GetObjectSession(), lab.gc);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    EXPECT_EQ(storage.MakeObjectDn(*schema.GetObjectSchema(KindPolicy),
                                   L"1a2b0000-0000-4000-8000-000000000001"),
              L"CN=1a2b0000-0000-4000-8000-000000000001,CN=Policies,CN=Korvant 5.0 Configuration,"
              L"CN={5A5A},DC=Korvant-GC");
}

TEST(LdapStorageTest, LdsStorageLaterOnReadsThroughTheSecurityDomain) {
    LdsStorageFixture lab({8, 19});
    CLdapStorage storage(lab.Session(), kServer);
    EXPECT_EQ(storage.SecurityDomainDn(), L"CN={5A5A},DC=Korvant");
    EXPECT_EQ(storage.GetObjectSession(), lab.sd);
}

TEST(LdapStorageTest, ActiveDirectoryStorageReadsOnlyTheSchemaVersion) {
    auto ad = std::make_shared<FakeSession>();
    ad->Answer(L"*", kAnyObject,
               {Entry(L"", {{L"configurationNamingContext",
                             attr_value(L"CN=Configuration,DC=korvant")}})});
    ad->Answer(kSchemaDn, kAnyObject,
               {Entry(kSchemaDn, {{L"orvexKVADSchemaVersion", attr_value(7)},
                                  {L"orvexKVADSchemaVersionExtended", attr_value(16)}})});
    CLdapStorage storage({ad, false, nullptr, nullptr}, kServer);
    EXPECT_EQ(storage.GetSchemaVersion(), (SchemaVersion{7, 16}));
    EXPECT_EQ(storage.SecurityDomainDn(), L"");
    EXPECT_EQ(storage.GetObjectSession(), ad);
    EXPECT_EQ(ad->Requests().size(), 2u);
}

TEST(LdapStorageTest, DiscoveryFailuresNameTheirCause) {
    struct Case {
        const char* title;
        std::function<void(LdsStorageFixture&)> damage;
        std::wstring error;
    };
    const std::vector<Case> cases = {
        {"no root entry", [](LdsStorageFixture& lab) { lab.sd->Answer(L"*", kAnyObject, {}); },
         L"Unable to open configurationNamingContext"},
        {"no schema version object",
         [](LdsStorageFixture& lab) { lab.sd->Answer(kSchemaDn, kAnyObject, {}); },
         L"Access denied or source storage does not contain Korvant Schema Version"},
        {"no self server",
         [](LdsStorageFixture& lab) { lab.gc->Answer(L"DC=Korvant-GC", kServerFilter, {}); },
         L"Not found self server (S-1-5-21-1-2-3-1000)"},
        {"two self servers",
         [](LdsStorageFixture& lab) {
             lab.gc->Answer(L"DC=Korvant-GC", kServerFilter,
                            {Entry(kGcServerDn), Entry(L"CN=srv2," + kGcServerDn.substr(8))});
         },
         L"Duplicate self server (S-1-5-21-1-2-3-1000)"},
        {"security domain entry missing",
         [](LdsStorageFixture& lab) { lab.gc->Answer(L"DC=Korvant-GC", L"(name={5A5A})", {}); },
         L"Not found security domain."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        LdsStorageFixture lab({7, 16});
        c.damage(lab);
        EXPECT_EQ(ErrorText([&] { CLdapStorage(lab.Session(), kServer); }), c.error);
    }
}

TEST(LdapStorageTest, MissingActiveDirectoryDomainRaisesCodeOne) {
    LdsStorageFixture lab({7, 16});
    lab.ad->Answer(L"", GuidFilter(kDomainGuid), {});
    try {
        CLdapStorage storage(lab.Session(), kServer);
        FAIL() << "no error";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 1u);
    }
}

// An Active Directory computer as the chunked look-up returns it: with its objectSid.
LdapHelper::object_ptr Computer(const std::wstring& sid, const std::wstring& host) {
    return Entry(L"CN=" + host + L",CN=Computers,DC=corp,DC=local",
                 {{L"objectSid", Sid(sid)},
                  {L"dNSHostName", attr_value(host + L".corp.local")},
                  {L"name", attr_value(host)},
                  {L"canonicalName", attr_value(L"corp.local/Computers/" + host)}});
}

std::wstring SidTerms(const std::vector<std::wstring>& sids) {
    std::wstring filter = L"(|";
    for (const std::wstring& sid : sids) {
        filter += L"(objectSid=" + sid + L")";
    }
    return filter + L")";
}

TEST(LdapStorageTest, ServicesAreCompletedFromActiveDirectoryInOneLookUp) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);
    lab.gc->Answer(
        L"CN={5A5A},DC=Korvant-GC", ObjectFilter(services, L"", kServer),
        {Entry(L"CN=ws1", {{L"orvexKVObjectSid", Sid(L"S-1-5-21-1-2-3-1107")},
                           {L"description", attr_value(L"objectMigrated;policyMigrated")}}),
         Entry(L"CN=gone", {{L"orvexKVObjectSid", Sid(L"S-1-5-21-1-2-3-1108")}}),
         Entry(L"CN=ws3", {{L"orvexKVObjectSid", Sid(L"S-1-5-21-1-2-3-1109")},
                           {L"description", attr_value(L"policyMigrated")}}),
         Entry(L"CN=twice", {{L"orvexKVObjectSid", Sid(L"S-1-5-21-1-2-3-1110")}})});
    // The directory's answer comes in any order; a SID found twice counts as not found.
    lab.ad->Answer(
        L"",
        SidTerms({L"S-1-5-21-1-2-3-1107", L"S-1-5-21-1-2-3-1108", L"S-1-5-21-1-2-3-1109",
                  L"S-1-5-21-1-2-3-1110"}),
        {Computer(L"S-1-5-21-1-2-3-1109", L"WS3"), Computer(L"S-1-5-21-1-2-3-1110", L"A"),
         Computer(L"S-1-5-21-1-2-3-1107", L"WS1"), Computer(L"S-1-5-21-1-2-3-1110", L"B")});
    const size_t before = lab.gc->Requests().size() + lab.ad->Requests().size();

    std::vector<CLdapObject> objects = storage.GetLdapObjects(services, NotFoundMode::Silent);

    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].id, L"S-1-5-21-1-2-3-1107");
    EXPECT_EQ(objects[0].name, L"WS1.corp.local");
    EXPECT_EQ(objects[0].canonicalName, L"corp.local/Computers/WS1");
    EXPECT_TRUE(objects[0].objectMigrated);
    EXPECT_TRUE(objects[0].policyMigrated);
    EXPECT_EQ(objects[1].id, L"S-1-5-21-1-2-3-1109");
    EXPECT_FALSE(objects[1].objectMigrated);
    EXPECT_TRUE(objects[1].policyMigrated);
    // One search for the list, one look-up for all of them.
    EXPECT_EQ(lab.gc->Requests().size() + lab.ad->Requests().size() - before, 2u);
    const LdapHelper::attr_list& asked = lab.gc->Requests().back().attributes;
    EXPECT_EQ(std::count(asked.begin(), asked.end(), L"orvexKvComputerCriticalityLevel"), 1);
    EXPECT_EQ(asked[asked.size() - 2], L"orvexKVObjectSid");
    EXPECT_EQ(asked.back(), L"description");

    EXPECT_EQ(ErrorText([&] { storage.GetLdapObjects(services, NotFoundMode::Raise); }),
              L"Object S-1-5-21-1-2-3-1108 not found in Active Directory");
    EXPECT_EQ(storage.GetLdapObjects(services, NotFoundMode::Warn).size(), 2u);
}

TEST(LdapStorageTest, ManyServicesAreLookedUpInChunks) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);
    const size_t count = AdLookupChunk + 3;
    LdapHelper::object_list entries;
    std::vector<std::vector<std::wstring>> chunks(2);
    std::vector<LdapHelper::object_list> answers(2);
    for (size_t i = 0; i < count; ++i) {
        std::wstring sid = L"S-1-5-21-1-2-3-" + std::to_wstring(10000 + i);
        entries.push_back(Entry(L"CN=ws", {{L"orvexKVObjectSid", Sid(sid)}}));
        chunks[i / AdLookupChunk].push_back(sid);
        answers[i / AdLookupChunk].push_back(Computer(sid, L"WS" + std::to_wstring(i)));
    }
    lab.gc->Answer(L"CN={5A5A},DC=Korvant-GC", ObjectFilter(services, L"", kServer), entries);
    lab.ad->Answer(L"", SidTerms(chunks[0]), answers[0]);
    lab.ad->Answer(L"", SidTerms(chunks[1]), answers[1]);
    std::vector<CLdapObject> objects = storage.GetLdapObjects(services, NotFoundMode::Raise);
    ASSERT_EQ(objects.size(), count);
    EXPECT_EQ(objects.back().name, L"WS" + std::to_wstring(count - 1) + L".corp.local");
}

TEST(LdapStorageTest, ActiveDirectoryServicesCarryTheirOwnNames) {
    auto ad = std::make_shared<FakeSession>();
    ad->Answer(L"*", kAnyObject,
               {Entry(L"", {{L"configurationNamingContext",
                             attr_value(L"CN=Configuration,DC=korvant")}})});
    ad->Answer(kSchemaDn, kAnyObject,
               {Entry(kSchemaDn, {{L"orvexKVADSchemaVersion", attr_value(7)},
                                  {L"orvexKVADSchemaVersionExtended", attr_value(16)}})});
    CLdapStorage storage({ad, false, nullptr, nullptr}, kServer);
    CLdapSchema schema({7, 16}, StorageKind::ActiveDirectory, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);
    ad->Answer(L"", ObjectFilter(services, L"", kServer),
               {Computer(L"S-1-5-21-1-2-3-1107", L"WS1")});
    const size_t before = ad->Requests().size();
    std::vector<CLdapObject> objects = storage.GetLdapObjects(services, NotFoundMode::Raise);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].name, L"WS1.corp.local");
    EXPECT_EQ(objects[0].canonicalName, L"corp.local/Computers/WS1");
    EXPECT_EQ(ad->Requests().size() - before, 1u);
    const LdapHelper::attr_list& asked = ad->Requests().back().attributes;
    EXPECT_NE(std::find(asked.begin(), asked.end(), L"dNSHostName"), asked.end());
}

TEST(LdapStorageTest, OnlyTheGivenServerIsEverReturned) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& servers = *schema.GetObjectSchema(KindServer);
    // A directory that answered more than the filter asked for still yields only this server.
    lab.gc->Answer(L"CN={5A5A},DC=Korvant-GC", ObjectFilter(servers, L"", kServer),
                   {Entry(L"CN=other", {{L"orvexKVOMSSID", Sid(L"S-1-5-21-1-2-3-2000")}}),
                    Entry(L"CN=srv1", {{L"orvexKVOMSSID", Sid(kServer)}})});
    lab.ad->Answer(L"", SidTerms({kServer}), {Computer(kServer, L"srv1")});
    std::vector<CLdapObject> objects = storage.GetLdapObjects(servers);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].id, kServer);
    EXPECT_EQ(objects[0].name, L"srv1.corp.local");
}

TEST(LdapStorageTest, SingleObjectReadRaisesWhenActiveDirectoryLacksIt) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);
    const std::wstring id = L"S-1-5-21-1-2-3-1108";
    EXPECT_EQ(storage.GetLdapObject(services, id), nullptr);
    lab.gc->Answer(L"CN={5A5A},DC=Korvant-GC", ObjectFilter(services, id, kServer),
                   {Entry(L"CN=gone", {{L"orvexKVObjectSid", Sid(id)}})});
    EXPECT_EQ(ErrorText([&] { storage.GetLdapObject(services, id); }),
              L"Object S-1-5-21-1-2-3-1108 not found in Active Directory");
}

TEST(LdapStorageTest, PoliciesAreNeverLookedUpInActiveDirectory) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& policies = *schema.GetObjectSchema(KindPolicy);
    const std::wstring id = L"6b7c1d2e-0000-4000-8000-000000000001";
    lab.gc->Answer(L"CN={5A5A},DC=Korvant-GC", ObjectFilter(policies, id, kServer),
                   {Entry(L"CN=p", {{L"objectGUID", Guid(id)}})});
    const size_t adBefore = lab.ad->Requests().size();
    LdapObjectPtr policy = storage.GetLdapObject(policies, id);
    ASSERT_NE(policy, nullptr);
    EXPECT_EQ(policy->id, id);
    EXPECT_EQ(policy->name, L"");
    EXPECT_EQ(lab.ad->Requests().size(), adBefore);
}

TEST(LdapStorageTest, LdsContainersJoinProductLinksWithGroupPolicyLinks) {
    const std::wstring linkedBoth = L"11111111-1111-4111-8111-111111111111";
    const std::wstring missingInAd = L"22222222-2222-4222-8222-222222222222";
    const std::wstring gpOnly = L"33333333-3333-4333-8333-333333333333";
    LdsStorageFixture lab({7, 16});
    lab.ad->Answer(L"", GuidFilter(kDomainGuid),
                   {Entry(L"DC=corp,DC=local", {{L"canonicalName", attr_value(L"corp.local/")},
                                                {L"name", attr_value(L"corp")}})});
    CLdapStorage storage(lab.Session(), kServer);
    const std::wstring root = L"CN={5A5A},DC=Korvant-GC";
    lab.gc->Answer(root, L"(objectClass=domainDNS)",
                   {Entry(root, {{L"orvexKVObjectGuid", Guid(kDomainGuid)},
                                 {L"orvexKVPolicyLink", attr_value(L"P-domain")}})});
    lab.gc->Answer(root, L"(&(objectClass=organizationalUnit)(orvexKVPolicyLink=*))",
                   {Entry(L"OU=Sales," + root, {{L"orvexKVObjectGuid", Guid(linkedBoth)},
                                                {L"orvexKVPolicyLink",
                                                 attr_value(LdapHelper::attr_list{L"P1", L"P2"})}}),
                    Entry(L"OU=Old," + root, {{L"orvexKVObjectGuid", Guid(missingInAd)},
                                              {L"orvexKVPolicyLink", attr_value(L"P3")}})});
    auto sales = Entry(L"OU=Sales,DC=corp,DC=local",
                       {{L"objectGUID", Guid(linkedBoth)},
                        {L"name", attr_value(L"Sales")},
                        {L"canonicalName", attr_value(L"corp.local/Sales")},
                        {L"gPLink", attr_value(L"[LDAP://cn={A},cn=policies;0]")}});
    lab.ad->Answer(L"", GuidFilter(linkedBoth), {sales});
    lab.ad->Answer(L"DC=corp,DC=local", L"(&(objectClass=organizationalUnit)(gPLink=*))",
                   {sales, Entry(L"OU=Hr,DC=corp,DC=local",
                                 {{L"objectGUID", Guid(gpOnly)},
                                  {L"name", attr_value(L"Hr")},
                                  {L"canonicalName", attr_value(L"corp.local/Hr")},
                                  {L"gPLink", attr_value(L"[LDAP://cn={B},cn=policies;0]")}})});

    ObjectDataMap containers = storage.GetContainers();

    ASSERT_EQ(containers.size(), 3u);
    ASSERT_TRUE(containers.count(linkedBoth));
    const CObjectData& both = *containers[linkedBoth];
    EXPECT_EQ(both.kind, KindContainer);
    EXPECT_EQ(both.name, L"Sales");
    EXPECT_EQ(both.canonicalName, L"corp.local/Sales");
    EXPECT_EQ(both.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{L"P1", L"P2"}));
    EXPECT_EQ(both.attributes.at(L"gPLink"), CValue(L"[LDAP://cn={A},cn=policies;0]"));
    const CObjectData& domain = *containers.at(kDomainGuid);
    EXPECT_EQ(domain.name, L"corp");
    EXPECT_EQ(domain.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{L"P-domain"}));
    const CObjectData& hr = *containers.at(gpOnly);
    EXPECT_EQ(hr.id, gpOnly);
    EXPECT_EQ(hr.attributes.count(L"orvexKVPolicyLink"), 0u);
    EXPECT_EQ(hr.attributes.at(L"gPLink"), CValue(L"[LDAP://cn={B},cn=policies;0]"));
    EXPECT_EQ(containers.count(missingInAd), 0u);
}

TEST(LdapStorageTest, SecurityDomainMissingFromActiveDirectoryRaisesCodeOne) {
    LdsStorageFixture lab({7, 16});
    CLdapStorage storage(lab.Session(), kServer);
    const std::wstring root = L"CN={5A5A},DC=Korvant-GC";
    lab.gc->Answer(root, L"(objectClass=domainDNS)",
                   {Entry(root, {{L"orvexKVObjectGuid", Guid(kDomainGuid)}})});
    lab.ad->Answer(L"", GuidFilter(kDomainGuid), {});
    try {
        storage.GetLdsContainers();
        FAIL() << "no error";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 1u);
    }
}

TEST(LdapStorageTest, ActiveDirectoryContainersCarryBothLinkKinds) {
    auto ad = std::make_shared<FakeSession>();
    ad->Answer(L"*", kAnyObject,
               {Entry(L"", {{L"configurationNamingContext",
                             attr_value(L"CN=Configuration,DC=korvant")}})});
    ad->Answer(kSchemaDn, kAnyObject,
               {Entry(kSchemaDn, {{L"orvexKVADSchemaVersion", attr_value(7)},
                                  {L"orvexKVADSchemaVersionExtended", attr_value(16)}})});
    const std::wstring id = L"11111111-1111-4111-8111-111111111111";
    ad->Answer(L"",
               L"(&(|(objectClass=organizationalUnit)(objectClass=domainDNS))"
               L"(|(orvexKVPolicyLink=*)(gPLink=*)))",
               {Entry(L"OU=Sales,DC=corp,DC=local",
                      {{L"objectGUID", Guid(id)},
                       {L"name", attr_value(L"Sales")},
                       {L"canonicalName", attr_value(L"corp.local/Sales")},
                       {L"orvexKVPolicyLink", attr_value(LdapHelper::attr_list{L"P1", L"P2"})},
                       {L"gPLink", attr_value(L"[LDAP://x;0]")}})});
    CLdapStorage storage({ad, false, nullptr, nullptr}, kServer);
    ObjectDataMap containers = storage.GetContainers();
    ASSERT_EQ(containers.size(), 1u);
    const CObjectData& sales = *containers.at(id);
    EXPECT_EQ(sales.name, L"Sales");
    EXPECT_EQ(sales.attributes.at(L"orvexKVPolicyLink"),
              CValue(std::vector<std::wstring>{L"P1", L"P2"}));
    EXPECT_EQ(sales.attributes.at(L"gPLink"), CValue(L"[LDAP://x;0]"));
}

}  // namespace
}  // namespace KvMigration
