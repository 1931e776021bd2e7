#include "client/ClientSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "client/ClientSwitches.h"
#include "client/NodeQueries.h"
#include "diagnostics/ClientException.h"
#include "support/FakeDirectory.h"
#include "support/TraceCapture.h"

namespace KvMigration {
namespace {

const std::wstring kOms = L"S-1-5-21-1-2-3-1102";
const std::wstring kServerFilter = L"(&(cn=S-1-5-21-1-2-3-1102)(objectCategory=orvexKVOMS))";

LdapHelper::object_ptr Server(const std::wstring& dn) {
    return KvTest::Entry(dn, {{L"cn", LdapHelper::attr_value(kOms)},
                              {L"distinguishedName", LdapHelper::attr_value(dn)}});
}

class ClientSessionTest : public testing::Test {
protected:
    ClientSessionTest() { LdapHelper::set_exception_handler(&hook_); }
    ~ClientSessionTest() override {
        LdapHelper::set_exception_handler(nullptr);
        SetLdsStorageMode(false);
    }

    // The code of the error Initialize ends with, 0 when it succeeds.
    uint32_t InitializeCode(bool lds) {
        try {
            wrapper.Initialize(fake, kOms, lds);
        } catch (const KvBase::CKvError& e) {
            EXPECT_EQ(*e.FindEntry(L"Function"), L"LdapHelper::find_lds_domain");
            return e.Code();
        }
        return 0;
    }

    KvBase::CClientException hook_;
    std::shared_ptr<KvTest::FakeSession> fake = std::make_shared<KvTest::FakeSession>();
    CLdapSession wrapper;
};

TEST_F(ClientSessionTest, TheLdsBaseIsTheDomainPartOfTheServersDn) {
    fake->Answer(L"", kServerFilter,
                 {Server(L"CN=S-1-5-21-1-2-3-1102,CN=Operational Management Servers,CN=Korvant 5.0 "
                         L"Configuration,CN={fa06},DC=korvant-gc")});
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(InitializeCode(true), 0u);
    EXPECT_EQ(wrapper.BaseDn(), L"DC=korvant-gc");
    ASSERT_EQ(fake->Requests().size(), 1u);
    const KvTest::FakeRequest& request = fake->Requests().front();
    EXPECT_EQ(request.base, L"");
    EXPECT_EQ(request.scope, LdapHelper::SCOPE_SUBTREE);
    EXPECT_EQ(request.attributes, (LdapHelper::attr_list{L"cn", L"distinguishedName"}));
    EXPECT_NE(
        KvTest::TraceLogSince(traceStart).find(L"CLdapSession::Initialize:BaseDN: DC=korvant-gc"),
        std::wstring::npos);
}

TEST_F(ClientSessionTest, ServerFindingFailuresHaveTheirCodes) {
    struct Case {
        const char* title;
        LdapHelper::object_list servers;
        uint32_t code;
        std::wstring base;
    };
    const std::vector<Case> cases = {
        {"a DN of two domain components", {Server(L"CN=x,OU=y,DC=a,DC=b")}, 0, L"DC=a,DC=b"},
        {"no server", {}, 1210, L""},
        {"two servers", {Server(L"CN=x,DC=a"), Server(L"CN=y,DC=a")}, 1210, L""},
        {"lower-case domain components", {Server(L"CN=x,OU=y,dc=a,dc=b")}, 1212, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        fake = std::make_shared<KvTest::FakeSession>();
        fake->Answer(L"", kServerFilter, c.servers);
        wrapper = CLdapSession();
        EXPECT_EQ(InitializeCode(true), c.code);
        EXPECT_EQ(wrapper.BaseDn(), c.base);
    }
}

TEST_F(ClientSessionTest, AnActiveDirectoryBaseIsTheDefaultNamingContext) {
    EXPECT_EQ(InitializeCode(false), 0u);
    EXPECT_EQ(wrapper.BaseDn(), L"DC=corp,DC=local");
    EXPECT_TRUE(fake->Requests().empty());
}

TEST_F(ClientSessionTest, ServerSidIsEscapedInTheFilter) {
    fake->Answer(L"", L"(&(cn=x\\29\\28cn\\3D\\2A)(objectCategory=orvexKVOMS))",
                 {Server(L"CN=x,DC=a")});
    wrapper.Initialize(fake, L"x)(cn=*", true);
    EXPECT_EQ(wrapper.BaseDn(), L"DC=a");
}

TEST_F(ClientSessionTest, QueriesSearchTheirKindBelowTheBase) {
    fake->Answer(L"", kServerFilter, {Server(L"CN=s,CN=x,CN={1},DC=korvant")});
    wrapper.Initialize(fake, kOms, true);
    struct Case {
        const char* title;
        bool lds;
        std::function<LdapHelper::object_list()> search;
        std::wstring base;
        std::wstring filter;
        size_t attributes;
    };
    const std::vector<Case> cases = {
        {"users on AD LDS", true, [&] { return UserQuery(wrapper).search(); },
         L"CN=Users,DC=korvant", L"(objectCategory=person)", 16},
        {"users on Active Directory", false, [&] { return UserQuery(wrapper).search(); }, L"",
         L"(objectCategory=person)", 16},
        {"a user by name", true, [&] { return UserQuery(wrapper).search(L"S-1-5-21-1-2-3-500"); },
         L"CN=Users,DC=korvant", L"(&(cn=S-1-5-21-1-2-3-500)(objectCategory=person))", 16},
        {"identifiers", true, [&] { return ElidQuery(wrapper).search(); },
         L"CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration,DC=korvant",
         L"(objectCategory=orvexKVUEI)", 8},
        {"an identifier named with filter characters", true,
         [&] { return ElidQuery(wrapper).search(L"a*(b)"); },
         L"CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration,DC=korvant",
         L"(&(cn=a\\2A\\28b\\29)(objectCategory=orvexKVUEI))", 8},
        {"the global record", true, [&] { return GlobalQuery(wrapper).search(L"GQuillData"); },
         L"CN=Korvant 5.0 Configuration,DC=korvant",
         L"(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        SetLdsStorageMode(c.lds);
        const size_t before = fake->Requests().size();
        c.search();
        ASSERT_EQ(fake->Requests().size(), before + 1);
        const KvTest::FakeRequest& request = fake->Requests().back();
        EXPECT_EQ(request.base, c.base);
        EXPECT_EQ(request.scope, LdapHelper::SCOPE_SUBTREE);
        EXPECT_EQ(request.filter, c.filter);
        EXPECT_EQ(request.attributes.size(), c.attributes);
    }
    EXPECT_EQ(UserQuery(wrapper).category(), L"person");
    EXPECT_EQ(ElidQuery(wrapper).category(), L"orvexKVUEI");
    EXPECT_EQ(GlobalQuery(wrapper).category(), L"orvexKVGQuillData");
    EXPECT_EQ(UserAttributes::List().front(), L"cn");
    EXPECT_EQ(UserAttributes::List().back(), L"orvexKVUserQuillCompList");
}

TEST(EscapeRdnValue, NamesStayOneRelativeName) {
    struct Case {
        std::wstring value;
        std::wstring escaped;
    };
    const std::vector<Case> cases = {
        {L"S-1-5-21-1-2-3-1110", L"S-1-5-21-1-2-3-1110"},
        {L"token-alice-1", L"token-alice-1"},
        {L"x,CN=Korvant 5.0 Configuration", L"x\\,CN\\=Korvant 5.0 Configuration"},
        {L"a\\", L"a\\\\"},
        {L"a+b", L"a\\+b"},
        {L"\"q\"", L"\\\"q\\\""},
        {L"<a>;b", L"\\<a\\>\\;b"},
        {L" lead and trail ", L"\\ lead and trail\\ "},
        {L"#1", L"\\#1"},
        {L"in#side", L"in#side"},
        {std::wstring(L"a\0b", 3), L"a\\00b"},
        {L"Кириллица", L"Кириллица"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        EXPECT_EQ(EscapeRdnValue(c.value), c.escaped);
    }
}

}  // namespace
}  // namespace KvMigration
