#include "storage/LdapStorage.h"

#include "storage/StorageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

using namespace KvStorageTest;

const std::wstring kServerDn =
    L"CN=srv1,CN=Operational Management Servers,CN=Korvant 5.0 Configuration,CN={5A5A},"
    L"DC=Korvant";
const std::wstring kService = L"S-1-5-21-1-2-3-1104";
const std::wstring kServiceDn = L"CN=WS1,CN=Computers,CN={5A5A},DC=Korvant";
const std::wstring kPolicy = L"6b7c1d2e-0000-4000-8000-000000000001";
const std::wstring kPolicyDn =
    L"CN=" + kPolicy + L",CN=Policies,CN=Korvant 5.0 Configuration,CN={5A5A},DC=Korvant";
const std::wstring kOu = L"11111111-1111-4111-8111-111111111111";
const std::wstring kOuDn = L"OU=" + kOu + L",CN=Organizational Units,CN={5A5A},DC=Korvant";

// A storage after 7.16 with the target schema, whose writes reach the two fake partitions.
class LdapStorageWriteTest : public testing::Test {
public:
    LdapStorageWriteTest()
        : lab({8, 19}),
          schema({8, 19}, StorageKind::Lds, SchemaUse::Target),
          storage(lab.Session(), kServer) {}

    const ObjectSchemaPtr& Kind(ObjectKind kind) {
        kinds[kind] = schema.GetObjectSchema(kind);
        return kinds[kind];
    }
    CObjectValues Values(ObjectKind kind, const std::wstring& id,
                         std::vector<std::pair<std::wstring, CValue>> values) {
        CObjectValues result{Kind(kind), id, {}};
        for (auto& [name, value] : values) {
            AttributePtr attribute = CLdapSchema::FindAttribute(*result.schema, name);
            EXPECT_NE(attribute, nullptr) << Platform::WideToUtf8(name);
            result.values.emplace_back(attribute, value);
        }
        return result;
    }
    void PutServer(std::map<std::wstring, attr_value> values = {}) {
        lab.PutObject(*Kind(KindServer), kServer, kServerDn, std::move(values));
    }
    std::vector<std::wstring> Writes(const FakeSession& session) { return session.Writes(); }

    LdsStorageFixture lab;
    CLdapSchema schema;
    CLdapStorage storage;
    std::map<ObjectKind, ObjectSchemaPtr> kinds;
};

TEST_F(LdapStorageWriteTest, UpdateLeavesProtectedValuesOutOfTheGlobalCatalogue) {
    PutServer({{L"description", attr_value(L"kept")}});
    storage.SetObject(Values(KindServer, kServer,
                             {{L"orvexKVOMSMailSettings", CValue(L"<Mail/>")},
                              {L"orvexKVOMSUAFilter", CValue(L"<Filter/>")},
                              {L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"x"})}}));
    EXPECT_EQ(
        Writes(*lab.sd),
        (std::vector<std::wstring>{L"modify " + kServerDn +
                                   L" description orvexKVOMSMailSettings orvexKVOMSUAFilter"}));
    EXPECT_EQ(lab.sd->Value(kServerDn, L"description").to_string(), L"keptobjectMigrated;");
    EXPECT_EQ(Writes(*lab.gc),
              (std::vector<std::wstring>{L"modify " + kServerDn + L"-GC orvexKVOMSUAFilter"}));
}

TEST_F(LdapStorageWriteTest, UpdateMarksOnceAndCommitsNothingForLinksAlone) {
    PutServer({{L"description", attr_value(L"objectMigrated;")}});
    storage.SetObject(Values(KindServer, kServer,
                             {{L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"x"})}}));
    EXPECT_TRUE(lab.sd->Writes().empty());
    EXPECT_TRUE(lab.gc->Writes().empty());

    storage.SetObject(Values(KindServer, kServer, {{L"orvexKVOMSUAFilter", CValue(L"<F/>")}}));
    EXPECT_EQ(lab.sd->Value(kServerDn, L"description").to_string(), L"objectMigrated;");
}

TEST_F(LdapStorageWriteTest, UpdateOfAContainerTouchesTheSecurityDomainOnly) {
    lab.PutObject(*Kind(KindContainer), kOu, kOuDn, {}, false);
    const size_t discovery = lab.gc->Requests().size();
    // No global-catalogue copy exists, and none is looked for.
    storage.SetObject(Values(KindContainer, kOu,
                             {{L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"x"})}}));
    EXPECT_TRUE(lab.gc->Writes().empty());
    EXPECT_EQ(lab.gc->Requests().size(), discovery);
}

TEST_F(LdapStorageWriteTest, CreationWritesTheMarksTheNameAndTheKey) {
    storage.CreateObject(Values(KindContainer, kOu,
                                {{L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"a"})}}),
                         false);
    EXPECT_EQ(Writes(*lab.sd), (std::vector<std::wstring>{L"add " + kOuDn +
                                                          L" description name objectClass "
                                                          L"orvexKVObjectGuid orvexKVPolicyLink"}));
    EXPECT_EQ(lab.sd->Value(kOuDn, L"description").to_string(), L"objectMigrated;policyMigrated;");
    EXPECT_EQ(lab.sd->Value(kOuDn, L"name").to_string(), kOu);
    EXPECT_EQ(lab.sd->Value(kOuDn, L"orvexKVObjectGuid").to_guid(), GuidFromString(kOu));
    EXPECT_TRUE(lab.gc->Writes().empty());
}

TEST_F(LdapStorageWriteTest, PolicyIsCreatedInBothPartitionsWithoutADescription) {
    storage.CreateObject(Values(KindPolicy, kPolicy, {{L"orvexKVPolicyVersion", CValue(L"4")}}),
                         true);
    EXPECT_EQ(Writes(*lab.sd), (std::vector<std::wstring>{L"add " + kPolicyDn +
                                                          L" name objectClass orvexKVObjectGuid "
                                                          L"orvexKVPolicyVersion"}));
    EXPECT_EQ(Writes(*lab.gc), (std::vector<std::wstring>{L"add " + kPolicyDn +
                                                          L"-GC name objectClass orvexKVObjectGuid "
                                                          L"orvexKVPolicyVersion"}));
    EXPECT_EQ(lab.gc->Value(kPolicyDn + L"-GC", L"orvexKVPolicyVersion").to_int(), 4);
}

TEST_F(LdapStorageWriteTest, ExistingGlobalCatalogueCopyIsUpdatedInPlace) {
    lab.gc->Put(kPolicyDn + L"-GC", {{L"orvexKVPolicyVersion", attr_value(int32_t{1})}});
    storage.CreateObject(Values(KindPolicy, kPolicy, {{L"orvexKVPolicyVersion", CValue(L"4")}}),
                         true);
    EXPECT_EQ(Writes(*lab.gc),
              (std::vector<std::wstring>{L"modify " + kPolicyDn +
                                         L"-GC orvexKVObjectGuid orvexKVPolicyVersion"}));
}

TEST_F(LdapStorageWriteTest, PolicyLinksOfAServerReachItsGlobalCatalogueCopy) {
    PutServer();
    storage.SetPolicyLink(*Kind(KindServer), kServer, {L"p1", L"p2"});
    EXPECT_EQ(lab.sd->Value(kServerDn, L"orvexKVPolicyLink").to_list(),
              (LdapHelper::attr_list{L"p1", L"p2"}));
    EXPECT_EQ(lab.sd->Value(kServerDn, L"description").to_string(), L"policyMigrated;");
    EXPECT_EQ(lab.gc->Value(kServerDn + L"-GC", L"orvexKVPolicyLink").to_list(),
              (LdapHelper::attr_list{L"p1", L"p2"}));
    EXPECT_TRUE(lab.gc->Value(kServerDn + L"-GC", L"description").empty());

    lab.PutObject(*Kind(KindContainer), kOu, kOuDn, {}, false);
    storage.SetPolicyLink(*Kind(KindContainer), kOu, {L"p3"});
    EXPECT_EQ(lab.gc->Writes().size(), 1u);
}

TEST_F(LdapStorageWriteTest, MissingPolicyIsDeletedSilently) {
    storage.DeletePolicy(*Kind(KindPolicy), kPolicy, true);
    EXPECT_TRUE(lab.sd->Writes().empty());
    lab.sd->Put(kPolicyDn, {});
    lab.sd->Put(L"CN=child," + kPolicyDn, {});
    lab.gc->Put(kPolicyDn + L"-GC", {});
    storage.DeletePolicy(*Kind(KindPolicy), kPolicy, false);
    EXPECT_FALSE(lab.sd->Has(L"CN=child," + kPolicyDn));
    EXPECT_TRUE(lab.gc->Has(kPolicyDn + L"-GC"));
    lab.sd->Put(kPolicyDn, {});
    storage.DeletePolicy(*Kind(KindPolicy), kPolicy, true);
    EXPECT_FALSE(lab.gc->Has(kPolicyDn + L"-GC"));
}

TEST_F(LdapStorageWriteTest, WriteFailuresNameTheirCause) {
    struct Case {
        const char* title;
        std::function<void(LdapStorageWriteTest&)> act;
        uint32_t code;
        std::wstring message;  // checked when not empty
    };
    const std::vector<Case> cases = {
        {"object to update missing",
         [](LdapStorageWriteTest& t) { t.storage.SetObject(t.Values(KindServer, kServer, {})); },
         0x80004005, L"Object S-1-5-21-1-2-3-1000 not found"},
        {"object to update found twice",
         [](LdapStorageWriteTest& t) {
             t.lab.sd->Answer(LdsStorageFixture::Root(),
                              ObjectFilter(*t.Kind(KindServer), kServer, kServer),
                              {Entry(kServerDn), Entry(kServerDn + L"2")});
             t.storage.SetObject(t.Values(KindServer, kServer, {}));
         },
         0x80004005, L"Object S-1-5-21-1-2-3-1000 not found"},
        {"entry vanished between look-up and open",
         [](LdapStorageWriteTest& t) {
             t.lab.sd->Answer(LdsStorageFixture::Root(),
                              ObjectFilter(*t.Kind(KindServer), kServer, kServer),
                              {Entry(kServerDn)});
             t.storage.SetObject(t.Values(KindServer, kServer, {}));
         },
         87, L""},
        {"global-catalogue copy vanished",
         [](LdapStorageWriteTest& t) {
             t.lab.PutObject(*t.Kind(KindService), kService, kServiceDn, {}, false);
             t.storage.SetObject(
                 t.Values(KindService, kService, {{L"orvexKVComputerType", CValue(L"x")}}));
         },
         87, L""},
        {"object to create exists",
         [](LdapStorageWriteTest& t) {
             t.lab.sd->Put(kOuDn, {});
             t.storage.CreateObject(t.Values(KindContainer, kOu, {}), false);
         },
         87, L""},
        {"policy deletion of another kind",
         [](LdapStorageWriteTest& t) {
             t.storage.DeletePolicy(*t.Kind(KindContainer), kOu, false);
         },
         87, L""},
        {"container to link not openable",
         [](LdapStorageWriteTest& t) {
             t.lab.sd->Answer(LdsStorageFixture::Root(),
                              ObjectFilter(*t.Kind(KindContainer), kOu, kServer), {Entry(kOuDn)});
             t.storage.SetPolicyLink(*t.Kind(KindContainer), kOu, {});
         },
         87, L""},
        {"container GUID matches two Active Directory objects",
         [](LdapStorageWriteTest& t) {
             t.lab.ad->Answer(L"", GuidFilter(kOu), {Entry(L"OU=a"), Entry(L"OU=b")});
             t.storage.IsDomainSubtreeContainer(kOu);
         },
         1, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        LdapStorageWriteTest* fresh = this;
        fresh->lab = LdsStorageFixture({8, 19});
        fresh->storage = CLdapStorage(fresh->lab.Session(), kServer);
        uint32_t code = 0;
        std::wstring message;
        try {
            c.act(*fresh);
        } catch (const KvBase::CKvError& e) {
            code = e.Code();
            message = e.Description();
        }
        EXPECT_EQ(code, c.code);
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message);
        }
    }
}

TEST_F(LdapStorageWriteTest, FailureAfterTheFirstCopyLeavesThatCopyChanged) {
    lab.PutObject(*Kind(KindService), kService, kServiceDn);
    lab.gc->FailOn(L"modify", kServiceDn + L"-GC", 53);
    EXPECT_THROW(storage.SetObject(
                     Values(KindService, kService, {{L"orvexKVComputerType", CValue(L"Server")}})),
                 std::exception);
    EXPECT_EQ(lab.sd->Value(kServiceDn, L"orvexKVComputerType").to_string(), L"Server");
    EXPECT_TRUE(lab.gc->Value(kServiceDn + L"-GC", L"orvexKVComputerType").empty());
}

TEST_F(LdapStorageWriteTest, IdentifiersThatAreNoSidOrGuidNeverBecomeADn) {
    struct Case {
        ObjectKind kind;
        std::wstring id;
        std::wstring error;
    };
    const std::vector<Case> cases = {
        {KindPolicy, L"x,CN=Servers",
         L"The identifier \"x,CN=Servers\" of a policy is not a valid GUID."},
        {KindPolicy, L"{" + kPolicy + L"}",
         L"The identifier \"{" + kPolicy + L"}\" of a policy is not a valid GUID."},
        {KindContainer, kOu + L",OU=x",
         L"The identifier \"" + kOu + L",OU=x\" of a container is not a valid GUID."},
        {KindContainer, L"", L"The identifier \"\" of a container is not a valid GUID."},
        {KindServer, kServer + L"+CN=x",
         L"The identifier \"" + kServer + L"+CN=x\" of a server is not a valid SID."},
        {KindService, L"S-1-5-21-1-2-3-1000\\,CN=x",
         L"The identifier \"S-1-5-21-1-2-3-1000\\,CN=x\" of a service is not a valid SID."},
        {KindService, L"S-x", L"The identifier \"S-x\" of a service is not a valid SID."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.id));
        EXPECT_EQ(ErrorText([&] { storage.MakeObjectDn(*Kind(c.kind), c.id); }), c.error);
        EXPECT_EQ(ErrorText([&] { storage.CreateObject(Values(c.kind, c.id, {}), true); }),
                  c.error);
    }
    EXPECT_EQ(ErrorText([&] { storage.DeletePolicy(*Kind(KindPolicy), L"x,CN=Servers", true); }),
              cases[0].error);
    EXPECT_TRUE(lab.sd->Writes().empty());
    EXPECT_TRUE(lab.gc->Writes().empty());
}

TEST_F(LdapStorageWriteTest, DomainSubtreeIsDecidedOnWholeNameParts) {
    struct Case {
        std::wstring canonicalName;
        bool inside;
    };
    const std::vector<Case> cases = {
        {L"corp.local/Sales", true},     {L"corp.local/", true},        {L"corp.local", true},
        {L"corp.localdev/Sales", false}, {L"other.local/Sales", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.canonicalName));
        lab.ad->Answer(L"", GuidFilter(kOu),
                       {Entry(L"OU=Sales", {{L"canonicalName", attr_value(c.canonicalName)}})});
        EXPECT_EQ(storage.IsDomainSubtreeContainer(kOu), c.inside);
    }
    lab.ad->Answer(L"", GuidFilter(kOu), {});
    EXPECT_FALSE(storage.IsDomainSubtreeContainer(kOu));
}

}  // namespace
}  // namespace KvMigration
