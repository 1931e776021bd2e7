#include "storage/ObjectFilter.h"

#include "base/KvError.h"
#include "storage/LdapStorage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

const std::wstring kServer = L"S-1-5-21-1-2-3-1000";

TEST(ObjectFilterTest, FiltersNameClassIdentifierAndOwner) {
    CLdapSchema source({7, 16}, StorageKind::Lds, SchemaUse::Source);
    CLdapSchema target({8, 19}, StorageKind::Lds, SchemaUse::Target);
    struct Case {
        const char* title;
        const CLdapSchema& schema;
        ObjectKind kind;
        std::wstring id;
        std::wstring filter;
    };
    const std::vector<Case> cases = {
        {"all services of a 7.16 storage", source, KindService, L"",
         L"(&(objectClass=computer)(&(orvexKVComputerfAgent=TRUE)"
         L"(orvexKVComputerOMSSID=S-1-5-21-1-2-3-1000)))"},
        {"one service of an 8.19 storage", target, KindService, L"S-1-5-21-1-2-3-1107",
         L"(&(objectClass=computer)(orvexKVObjectSid=S-1-5-21-1-2-3-1107)"
         L"(&(orvexKVComputerfAgent=TRUE)(orvexKVOMSParentSID=S-1-5-21-1-2-3-1000)))"},
        {"servers are only ever the given one", source, KindServer, L"",
         L"(&(objectClass=orvexKVOMS)(orvexKVOMSSID=S-1-5-21-1-2-3-1000))"},
        {"a policy by its GUID bytes", target, KindPolicy, L"079aa557-4a18-424a-8eee-e39f0a8d41b9",
         L"(&(objectClass=orvexKVPolicyObject)(orvexKVObjectGuid="
         L"\\57\\a5\\9a\\07\\18\\4a\\4a\\42\\8e\\ee\\e3\\9f\\0a\\8d\\41\\b9))"},
        {"all containers", source, KindContainer, L"",
         L"(&(|(objectClass=domainDNS)(objectClass=organizationalUnit)))"},
        {"an identifier from a file cannot widen the filter", target, KindService,
         L"*)(objectClass=*",
         L"(&(objectClass=computer)(orvexKVObjectSid=\\2A\\29\\28objectClass\\3D\\2A)"
         L"(&(orvexKVComputerfAgent=TRUE)(orvexKVOMSParentSID=S-1-5-21-1-2-3-1000)))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(ObjectFilter(*c.schema.GetObjectSchema(c.kind), c.id, kServer), c.filter);
    }
}

TEST(ObjectFilterTest, ActiveDirectoryConditionFollowsTheKind) {
    EXPECT_EQ(AdFilter(KindService, kServer),
              (LdapHelper::conditions{{L"objectSid", L"S-1-5-21-1-2-3-1000"}}));
    EXPECT_EQ(AdFilter(KindServer, L"a*b"), (LdapHelper::conditions{{L"objectSid", L"a\\2Ab"}}));
    EXPECT_EQ(
        AdFilter(KindContainer, L"079aa557-4a18-424a-8eee-e39f0a8d41b9"),
        (LdapHelper::conditions{
            {L"objectGUID", L"\\57\\a5\\9a\\07\\18\\4a\\4a\\42\\8e\\ee\\e3\\9f\\0a\\8d\\41\\b9"}}));
}

TEST(ObjectFilterTest, MalformedGuidIdentifierRaisesInvalidData) {
    CLdapSchema schema({7, 16}, StorageKind::Lds, SchemaUse::Source);
    try {
        ObjectFilter(*schema.GetObjectSchema(KindContainer), L"not-a-guid", kServer);
        FAIL() << "no error";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 13u);
    }
}

TEST(SecurityDomainTest, ServerDnNamesTheSecurityDomain) {
    struct Case {
        const char* title;
        std::wstring serverDn;
        bool keepGc;
        std::wstring dn;
        std::wstring id;
        std::wstring error;
    };
    const std::wstring servers = L"CN=srv1,CN=Operational Management Servers,";
    const std::vector<Case> cases = {
        {"7.16 keeps the global-catalogue suffix",
         servers + L"CN=Korvant 5.0 Configuration,CN={G},DC=Korvant-GC", true,
         L"CN={G},DC=Korvant-GC", L"G", L""},
        {"later versions drop it",
         servers + L"CN=Korvant 5.0 Configuration,CN={1A2B},DC=korvant-gc", false,
         L"CN={1A2B},DC=korvant", L"1A2B", L""},
        {"without the configuration container", servers + L"CN={G},DC=Korvant-GC", true, L"", L"",
         L"The self server DN (" + servers +
             L"CN={G},DC=Korvant-GC) lacks \"CN=Korvant 5.0 Configuration,\""},
        {"nothing after the configuration container", L"CN=srv1,CN=Korvant 5.0 Configuration,",
         false, L"", L"",
         L"The self server DN (CN=srv1,CN=Korvant 5.0 Configuration,) names no security domain"},
        {"security domain without braces",
         servers + L"CN=Korvant 5.0 Configuration,CN=G,DC=Korvant-GC", true, L"", L"",
         L"The security domain DN (CN=G,DC=Korvant-GC) holds no identifier in braces"},
        {"closing brace only", servers + L"CN=Korvant 5.0 Configuration,CN=}G{,DC=Korvant-GC", true,
         L"", L"", L"The security domain DN (CN=}G{,DC=Korvant-GC) holds no identifier in braces"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        try {
            SecurityDomainName name = SecurityDomainFromServerDn(c.serverDn, c.keepGc);
            EXPECT_EQ(name.dn, c.dn);
            EXPECT_EQ(name.id, c.id);
            EXPECT_EQ(c.error, L"");
        } catch (const KvBase::CKvError& e) {
            EXPECT_EQ(e.Description(), c.error);
        }
    }
}

}  // namespace
}  // namespace KvMigration
