#include <algorithm>

#include "SessionFixture.h"

namespace {

using namespace LdapHelper;
using KvTest::Entry;
using KvTest::ScriptedSessionTest;
using testing::ElementsAre;

class Search : public ScriptedSessionTest {
protected:
    void SetUp() override {
        session_ = Open();
        MarkOpened();
    }
    session_ptr session_;
};

const std::string kSdFlags7("\x30\x03\x02\x01\x07", 5);

TEST_F(Search, SendsDomainScopeThenCriticalSecurityDescriptorFlags) {
    session_->search(query(L"OU=x,DC=corp,DC=local", SCOPE_ONELEVEL, L"(cn=*)"), {L"cn", L"name"});
    ASSERT_EQ(script_->searches.size(), 2u);
    const SearchRequest& sent = script_->searches.back();
    EXPECT_THAT(sent.server_controls,
                ElementsAre(LdapControl{"1.2.840.113556.1.4.1339", std::nullopt, false},
                            LdapControl{"1.2.840.113556.1.4.801", kSdFlags7, true}));
    EXPECT_EQ(sent.base, std::optional<std::string>("OU=x,DC=corp,DC=local"));
    EXPECT_EQ(sent.scope, 1);
    EXPECT_THAT(sent.attributes, ElementsAre("cn", "name"));
    EXPECT_EQ(sent.timeout_seconds, 60);
    EXPECT_FALSE(sent.page_size.has_value());
    EXPECT_THAT(trace_.lines,
                ElementsAre(L"I: ---> LdapSession::search(root[21] = OU=x,DC=corp,DC=local, scope "
                            L"= 1, filter = (cn=*))",
                            L"I: Number of attributes = 2", L"I:   pattrs[0] = cn",
                            L"I:   pattrs[1] = name", L"I: LdapSession::search return 0 objects"));
}

TEST_F(Search, EmptyBaseIsTheDefaultNamingContextAndStarTheRootDse) {
    session_->search(query(L"", SCOPE_SUBTREE, L"(objectClass=*)"), {});
    EXPECT_EQ(script_->searches.back().base, std::optional<std::string>("DC=corp,DC=local"));
    EXPECT_EQ(trace_.lines.front(),
              L"I: ---> LdapSession::search(root[0] = DC=corp,DC=local, scope = 2, filter = "
              L"(objectClass=*))");
    session_->search(query(L"*", SCOPE_BASE, L"(objectClass=*)"), {});
    EXPECT_FALSE(script_->searches.back().base.has_value());
}

TEST_F(Search, EntriesBecomeObjectsInServerOrder) {
    script_->Reply(0, {Entry("CN=a,DC=corp,DC=local", {{"cn", {"a"}}, {"member", {"x", "y"}}}),
                       Entry("CN=b,DC=corp,DC=local", {{"cn", {"b"}}})});
    object_list found = session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->dn(), L"CN=a,DC=corp,DC=local");
    EXPECT_EQ(found[0]->get_attr(L"member").to_list(), (attr_list{L"x", L"y"}));
    EXPECT_EQ(found[1]->get_attr(L"cn").to_string(), L"b");
    EXPECT_EQ(found[1]->get_session(), session_.get());
    EXPECT_FALSE(found[1]->is_modified());
}

TEST_F(Search, MildCodesGiveAnEmptyList) {
    struct Case {
        int code;
        const wchar_t* trace;  // null: no line
    };
    const Case cases[] = {
        {1, L"I: ldap_search_ext_s: 00000001 Operations error"},
        {10, L"I: ldap_search_ext_s: 0000000A Referral"},
        {32, L"I: ldap_search_ext_s: 00000020 No such object"},
        {0x5e, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        trace_.lines.clear();
        script_->Reply(c.code, {Entry("CN=dropped")});
        EXPECT_TRUE(session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}).empty());
        std::vector<std::wstring> between(trace_.lines.begin() + 1, trace_.lines.end() - 1);
        if (c.trace) {
            ASSERT_EQ(between.size(), 1u);
            EXPECT_EQ(between[0].substr(0, wcslen(c.trace)), c.trace);
        } else {
            EXPECT_TRUE(between.empty());
        }
    }
}

TEST_F(Search, SeriousCodeGoesToTheHooks) {
    script_->ReplyFailure(0x51);
    try {
        session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {});
        FAIL() << "no failure";
    } catch (const CExceptionHandler& e) {
        EXPECT_THAT(e.what(), testing::StartsWith("Server: 'dc1:389' User: 'CORP\\admin' Error: "
                                                  "Can't contact LDAP server (0x51)., Code: 81"));
    }
    // The connection was tried once more before the failure was reported; the reopening found
    // no root entry, so the search's own failure is what the hooks got.
    EXPECT_NE(std::find(trace_.lines.begin(), trace_.lines.end(),
                        L"E: The connection to 'dc1:389' was closed by the server or the network; "
                        L"it is opened again."),
              trace_.lines.end());
    EXPECT_TRUE(std::any_of(trace_.lines.begin(), trace_.lines.end(), [](const std::wstring& l) {
        return l.starts_with(L"E: ldap_search_ext_s: 00000051 Can't contact LDAP serve");
    }));
}

TEST_F(Search, AConnectionTheServerClosedIsOpenedAgainOnceAndTheSearchRepeated) {
    script_->ReplyFailure(0x51);
    script_->ReplyRootDse("DC=corp,DC=local");
    script_->Reply(0, {Entry("CN=found")});
    object_list found = session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->dn(), L"CN=found");
    std::vector<std::string> calls = CallsAfterOpening();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front(), "search 'DC=corp,DC=local' 2 (cn=*)");
    EXPECT_EQ(calls[1], "unbind");
    EXPECT_EQ(calls[2], "init dc1:389 ssl=0");
    // The same login binds again, and the search is sent once more.
    EXPECT_NE(std::find(calls.begin(), calls.end(), "simple_bind CORP\\admin"), calls.end());
    EXPECT_EQ(calls.back(), "search 'DC=corp,DC=local' 2 (cn=*)");

    // A second closed connection in the same search is not tried again: the failure is reported.
    script_->ReplyFailure(0x51);
    script_->ReplyRootDse("DC=corp,DC=local");
    script_->ReplyFailure(0x51);
    EXPECT_THROW(session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}), CExceptionHandler);
}

TEST_F(Search, OtherFailuresAreNotRepeated) {
    script_->Reply(0x32);
    EXPECT_ANY_THROW(session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}));
    EXPECT_EQ(CallsAfterOpening(), std::vector<std::string>{"search 'DC=corp,DC=local' 2 (cn=*)"});
}

TEST_F(Search, SizeLimitRefusalFallsBackToPagesAndReturnsEverything) {
    script_->Reply(4, {Entry("CN=partial")});
    script_->Reply(0, {Entry("CN=1"), Entry("CN=2")}, {}, "cookie-1");
    script_->Reply(0, {Entry("CN=3")}, {}, "");
    object_list found = session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {L"cn"});
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2]->dn(), L"CN=3");
    EXPECT_THAT(CallsAfterOpening(),
                ElementsAre("search 'DC=corp,DC=local' 2 (cn=*)",
                            "search 'DC=corp,DC=local' 2 (cn=*) page=500 cookie=",
                            "search 'DC=corp,DC=local' 2 (cn=*) page=500 cookie=cookie-1"));
    const SearchRequest& page = script_->searches.back();
    EXPECT_EQ(page.time_limit_seconds, 30);
    EXPECT_EQ(page.server_controls.size(), 2u);
    int errors = 0;
    for (const std::wstring& line : trace_.lines) {
        errors += line.rfind(L"E: ", 0) == 0;
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(trace_.lines.back(), L"I: LdapSession::search return 3 objects");
}

TEST_F(Search, PageWithAnErrorResultKeepsWhatWasCollected) {
    script_->Reply(4);
    script_->Reply(0, {Entry("CN=1")}, {}, "c1");
    script_->Reply(3, {Entry("CN=late")}, {}, "c2");
    object_list found = session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(script_->calls.size() - opened_, 3u);
}

TEST_F(Search, FailedPageReleasesTheServerPagingState) {
    script_->Reply(4);
    script_->Reply(0, {Entry("CN=1")}, {}, "c1");
    script_->ReplyFailure(0x51);
    EXPECT_THROW(session_->search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}), CExceptionHandler);
    EXPECT_EQ(script_->calls.back(), "search 'DC=corp,DC=local' 2 (cn=*) page=0 cookie=c1");
}

TEST_F(Search, OpenObjectLetsTheSizeLimitThrough) {
    script_->Reply(4);
    EXPECT_THROW(session_->open_object(L"CN=x", {}), size_limit_exception);
}

TEST_F(Search, OpenObjectOfAMissingEntryIsNull) {
    script_->Reply(32);
    EXPECT_EQ(session_->open_object(L"CN=missing,DC=corp,DC=local", {L"cn"}), nullptr);
    EXPECT_EQ(trace_.lines.front(), L"I: Open object: CN=missing,DC=corp,DC=local");
}

LdapControl DirsyncResponse(int more, const std::string& cookie) {
    std::string value;
    BerEncodeDirsync(more, 0, cookie, value);
    return {"1.2.840.113556.1.4.841", value, false};
}

TEST_F(Search, DirsyncLoopsWhileTheServerHasMoreAndKeepsTheNewestCookie) {
    script_->Reply(0, {Entry("CN=1")}, {DirsyncResponse(1, "A")});
    script_->Reply(0, {Entry("CN=2")}, {DirsyncResponse(0, "B")});
    std::vector<uint8_t> cookie;
    object_list found = session_->dirsync_search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}, cookie);
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(std::string(cookie.begin(), cookie.end()), "B");
    ASSERT_EQ(script_->searches.size(), 3u);
    std::string first;
    BerEncodeDirsync(0, 0x100000, "", first);
    EXPECT_EQ(script_->searches[1].server_controls[2],
              (LdapControl{"1.2.840.113556.1.4.841", first, true}));
    std::string second;
    BerEncodeDirsync(0, 0x100000, "A", second);
    EXPECT_EQ(*script_->searches[2].server_controls[2].value, second);
}

TEST_F(Search, DirsyncEndsWhenTheServerSendsNoNewCookie) {
    struct Case {
        const char* name;
        std::vector<LdapControl> controls;
        int code;
    };
    const Case cases[] = {
        {"no response control", {}, 0},
        {"empty cookie with more data", {DirsyncResponse(1, "")}, 0},
        {"same cookie again with more data", {DirsyncResponse(1, "start")}, 0},
        {"mild error", {}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = script_->searches.size();
        script_->Reply(c.code, {}, c.controls);
        std::vector<uint8_t> cookie{'s', 't', 'a', 'r', 't'};
        session_->dirsync_search(query(L"", SCOPE_SUBTREE, L"(cn=*)"), {}, cookie);
        EXPECT_EQ(script_->searches.size() - before, 1u);
        EXPECT_EQ(std::string(cookie.begin(), cookie.end()), "start");
    }
}

TEST_F(Search, SchemaGuidsLooksUpEachNameEscaped) {
    script_->Reply(0, {Entry("", {{"schemaNamingContext", {"CN=Schema,CN=Configuration"}}})});
    std::string guid(16, '\x11');
    script_->Reply(0, {Entry("CN=A", {{"schemaIDGUID", {guid}}})});
    script_->Reply(32);
    auto guids = session_->schema_guids({L"orvexKV*Name", L"missing"});
    ASSERT_EQ(guids.size(), 1u);
    EXPECT_EQ(guids.begin()->first, L"orvexKV*Name");
    EXPECT_EQ(script_->searches[2].filter, "(lDAPDisplayName=orvexKV\\2AName)");
    EXPECT_EQ(script_->searches[2].base, std::optional<std::string>("CN=Schema,CN=Configuration"));
}

}  // namespace
