#include "app/DryRunClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/ScriptedLdapClient.h"

namespace KvMigration {
namespace {

using KvTest::Entry;
using LdapHelper::LdapModification;
using LdapHelper::SearchRequest;
using LdapHelper::SearchResult;

constexpr int kAdd = LdapHelper::LDAP_MODOP_ADD | LdapHelper::LDAP_MODOP_BVALUES;
constexpr int kReplace = LdapHelper::LDAP_MODOP_REPLACE | LdapHelper::LDAP_MODOP_BVALUES;
const std::string kPolicies = "CN=Policies,CN=Korvant,CN=SD";

SearchRequest Request(const std::string& base, int scope, const std::string& filter,
                      std::vector<std::string> attributes = {}) {
    SearchRequest request;
    request.base = base;
    request.scope = scope;
    request.filter = filter;
    request.attributes = std::move(attributes);
    return request;
}

class DryRunClientTest : public testing::Test {
protected:
    DryRunClientTest()
        : script_(std::make_shared<KvTest::LdapScript>()),
          journal_(std::make_shared<MigrationJournal>()),
          listing_(std::make_shared<DryRunListing>(
              journal_, [this](std::wstring_view line) { lines_.emplace_back(line); })),
          client_(std::make_unique<KvTest::ScriptedLdapClient>(script_), listing_) {}

    // The calls that reached the server.
    std::vector<std::string> Calls() const { return script_->calls; }

    SearchResult Search(const SearchRequest& request) {
        SearchResult result;
        EXPECT_EQ(client_.search(request, result), 0);
        return result;
    }

    int AddPolicy(const std::string& guidBytes, const std::string& name) {
        return client_.add("CN=" + name + "," + kPolicies,
                           {{kAdd, "objectClass", {"orvexKVPolicyObject"}},
                            {kAdd, "orvexKVPolicyGuid", {guidBytes}},
                            {kAdd, "name", {name}}},
                           {});
    }

    std::shared_ptr<KvTest::LdapScript> script_;
    MigrationJournalPtr journal_;
    std::vector<std::wstring> lines_;
    std::shared_ptr<DryRunListing> listing_;
    DryRunLdapClient client_;
};

TEST_F(DryRunClientTest, ReadsReachTheServerAsAsked) {
    script_->Reply(0, {Entry("CN=S-1-5-21-7," + kPolicies, {{"name", {"oms"}}})});
    SearchRequest request = Request(kPolicies, 2, "(objectClass=orvexKVOMS)", {"name"});
    request.page_size = 500;
    SearchResult result = Search(request);

    ASSERT_EQ(script_->searches.size(), 1u);
    EXPECT_EQ(script_->searches[0].filter, request.filter);
    EXPECT_EQ(script_->searches[0].page_size, request.page_size);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].dn, "CN=S-1-5-21-7," + kPolicies);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(DryRunClientTest, WritesNeverReachTheServer) {
    script_->changeRc = LdapHelper::LDAP_RC_INSUFFICIENT_RIGHTS;
    EXPECT_EQ(AddPolicy("g1", "P1"), 0);
    EXPECT_EQ(client_.modify("CN=X,CN=SD", {{kReplace, "description", {"m;"}}}, {}), 0);
    EXPECT_EQ(client_.remove("CN=Y,CN=SD", {}), 0);
    EXPECT_EQ(client_.rename("CN=Z,CN=SD", "CN=W", "CN=SD", true, {}), 0);
    EXPECT_EQ(client_.last_error(), 0);

    for (const std::string& call : Calls()) {
        SCOPED_TRACE(call);
        EXPECT_EQ(call.rfind("search ", 0), 0u);
    }
    EXPECT_TRUE(script_->changes.empty());
}

TEST_F(DryRunClientTest, ListsEachWriteUnderTheHeadingOfItsSection) {
    journal_->BeginSection(L"Oms");
    // The server's entries as the base reads of the kind and name find them.
    script_->Reply(0, {Entry("CN=S-1-5-21-7,CN=Servers,CN=SD",
                             {{"objectClass", {"top", "orvexKVOMS"}}, {"name", {"oms1"}}})});
    script_->Reply(0, {Entry("OU=g9,CN=Units,CN=SD",
                             {{"objectClass", {"top", "organizationalUnit"}}, {"name", {"g9"}}})});
    script_->Reply(0, {Entry("CN=g8," + kPolicies,
                             {{"objectClass", {"top", "orvexKVPolicyObject"}}, {"cn", {"g8"}}})});
    client_.modify(
        "CN=S-1-5-21-7,CN=Servers,CN=SD",
        {{kReplace, "description", {"objectMigrated;"}}, {kReplace, "orvexKVOMSConfig", {"<c/>"}}},
        {});
    client_.modify("OU=g9,CN=Units,CN=SD",
                   {{kReplace, "description", {"policyMigrated;"}},
                    {kReplace, "orvexKVPolicyLink", {"g1", "g2"}}},
                   {});
    client_.remove("CN=g8," + kPolicies, {});
    AddPolicy("g1", "g1");
    journal_->BeginSection(L"Client");
    client_.add("CN=Ivanov,CN=Users,CN=SD",
                {{kAdd, "objectClass", {"user"}}, {kAdd, "cn", {"Ivanov"}}}, {});
    script_->Reply(0, {});
    client_.rename("CN=Old,CN=Users,CN=SD", "CN=New", "", true, {});

    const std::vector<std::wstring> expected = {
        L"Dry run of the Oms section:",
        L"  Would update orvexKVOMS S-1-5-21-7 \"oms1\": description, orvexKVOMSConfig "
        L"(CN=S-1-5-21-7,CN=Servers,CN=SD)",
        L"  Would relink organizationalUnit g9: description, orvexKVPolicyLink "
        L"(OU=g9,CN=Units,CN=SD)",
        L"  Would delete orvexKVPolicyObject g8 (CN=g8,CN=Policies,CN=Korvant,CN=SD)",
        L"  Would create orvexKVPolicyObject g1 (CN=g1,CN=Policies,CN=Korvant,CN=SD)",
        L"Dry run of the Client section:",
        L"  Would create user Ivanov (CN=Ivanov,CN=Users,CN=SD)",
        L"  Would rename entry Old to CN=New,CN=Users,CN=SD (CN=Old,CN=Users,CN=SD)",
    };
    EXPECT_EQ(lines_, expected);
}

TEST_F(DryRunClientTest, SessionsOfOneRunShareTheHeading) {
    DryRunLdapClient other(std::make_unique<KvTest::ScriptedLdapClient>(script_), listing_);
    journal_->BeginSection(L"Oms");
    AddPolicy("g1", "g1");
    other.add("CN=g1-GC," + kPolicies, {{kAdd, "objectClass", {"orvexKVPolicyObject"}}}, {});
    ASSERT_EQ(lines_.size(), 3u);
    EXPECT_EQ(lines_[0], L"Dry run of the Oms section:");
}

TEST_F(DryRunClientTest, ValuesCannotDriveTheTerminal) {
    client_.add("CN=x\x1b[2J,CN=SD",
                {{kAdd, "objectClass", {"user"}}, {kAdd, "name", {"a\x1b]0;t\x07\xc2\x9b"}}}, {});
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[1],
              L"  Would create user x\\x1B[2J \"a\\x1B]0;t\\x07\\x9B\" (CN=x\\x1B[2J,CN=SD)");
}

// The import reads back what it has just written: a made entry is found again, a deleted one
// is gone, a modified one shows its new values, without the server being asked to change.
TEST_F(DryRunClientTest, ReadsSeeTheDroppedWrites) {
    const std::string guid("\x01\x28\x00\xff", 4);
    AddPolicy(guid, "P1");
    const size_t before = Calls().size();

    SearchResult base = Search(Request("cn=p1," + kPolicies, 0, "(objectClass=*)"));
    ASSERT_EQ(base.entries.size(), 1u);
    EXPECT_EQ(Calls().size(), before) << "a made entry is read without the server";

    script_->Reply(0, {Entry("CN=Other," + kPolicies, {{"name", {"Other"}}})});
    SearchResult subtree = Search(Request(
        "CN=Korvant,CN=SD", 2,
        "(&(objectClass=orvexKVPolicyObject)(orvexKVPolicyGuid=\\01\\28\\00\\ff))", {"name"}));
    ASSERT_EQ(subtree.entries.size(), 2u);
    EXPECT_EQ(subtree.entries[1].dn, "CN=P1," + kPolicies);
    ASSERT_EQ(subtree.entries[1].attributes.size(), 1u);
    EXPECT_EQ(subtree.entries[1].attributes[0].first, "name");

    client_.remove("CN=P1," + kPolicies, {});
    client_.remove("CN=Other," + kPolicies, {});
    SearchResult gone = Search(Request("CN=Other," + kPolicies, 0, "(objectClass=*)"));
    EXPECT_EQ(gone.result_code, LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    script_->Reply(0, {Entry("CN=Other," + kPolicies), Entry("CN=Kept," + kPolicies)});
    SearchResult rest = Search(Request(kPolicies, 1, "(objectClass=*)"));
    ASSERT_EQ(rest.entries.size(), 1u);
    EXPECT_EQ(rest.entries[0].dn, "CN=Kept," + kPolicies);

    // Made again where it was deleted, as the integrity-check import does after its erase.
    client_.add("CN=Other," + kPolicies,
                {{kAdd, "objectClass", {"orvexKVPolicyObject"}}, {kAdd, "name", {"new"}}}, {});
    script_->Reply(0, {Entry("CN=Other," + kPolicies, {{"name", {"old"}}})});
    SearchResult again = Search(Request(kPolicies, 2, "(objectClass=*)", {"name"}));
    ASSERT_EQ(again.entries.size(), 1u);
    EXPECT_EQ(again.entries[0].attributes[0].second, std::vector<std::string>{"new"});

    client_.modify("CN=Kept," + kPolicies,
                   {{kReplace, "description", {"objectMigrated;policyMigrated;"}},
                    {kReplace, "orvexKVPolicyLink", {}}},
                   {});
    script_->Reply(0, {Entry("CN=Kept," + kPolicies, {{"description", {"objectMigrated;"}},
                                                      {"orvexKVPolicyLink", {"g"}}})});
    SearchResult changed = Search(Request("CN=Kept," + kPolicies, 0, "(objectClass=*)",
                                          {"description", "orvexKVPolicyLink"}));
    ASSERT_EQ(changed.entries.size(), 1u);
    const auto expected = std::vector<std::pair<std::string, std::vector<std::string>>>{
        {"description", {"objectMigrated;policyMigrated;"}}};
    EXPECT_EQ(changed.entries[0].attributes, expected);
}

TEST_F(DryRunClientTest, SearchesByValueFindOnlyTheMadeEntriesThatHoldIt) {
    for (const char* name : {"Anna", "Boris", "Vera"}) {
        client_.add(std::string("CN=") + name + ",CN=Users,CN=SD",
                    {{kAdd, "objectClass", {"user"}}, {kAdd, "cn", {name}}}, {});
    }
    auto names = [this](const std::string& filter) {
        SearchResult result = Search(Request("CN=Users,CN=SD", 2, filter, {"cn"}));
        std::vector<std::string> found;
        for (const auto& entry : result.entries) {
            found.push_back(entry.attributes.at(0).second.at(0));
        }
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names("(&(objectClass=user)(cn=boris))"), Names{"Boris"});
    // The directory would add the category; the dry run does not know it and finds nothing.
    EXPECT_EQ(names("(&(objectCategory=person)(cn=Boris))"), Names{});
    EXPECT_EQ(names("(objectClass=user)"), (Names{"Anna", "Boris", "Vera"}));
    EXPECT_EQ(names("(cn=*r*)"), (Names{"Boris", "Vera"}));

    client_.modify("CN=Boris,CN=Users,CN=SD", {{kReplace, "cn", {"Gleb"}}}, {});
    EXPECT_EQ(names("(cn=Boris)"), Names{});
    EXPECT_EQ(names("(&(objectClass=user)(cn=Gleb))"), Names{"Gleb"});

    client_.remove("CN=Users,CN=SD", {});
    EXPECT_EQ(names("(objectClass=user)"), Names{});
    EXPECT_EQ(names("(cn=Anna)"), Names{});
}

TEST_F(DryRunClientTest, ServerFailuresOfReadsPassUnchanged) {
    AddPolicy("g", "P1");
    script_->ReplyFailure(LdapHelper::LDAP_RC_SERVER_DOWN);
    SearchResult result;
    EXPECT_EQ(client_.search(Request(kPolicies, 2, "(objectClass=*)"), result),
              LdapHelper::LDAP_RC_SERVER_DOWN);
    EXPECT_TRUE(result.entries.empty());
}

TEST(ApplyModificationsTest, AddsDeletesAndReplacesValues) {
    LdapHelper::LdapEntryData entry{"CN=e", {{"member", {"a", "b"}}, {"cn", {"e"}}}};
    ApplyModifications(
        entry, {{kAdd, "member", {"b", "c"}},
                {LdapHelper::LDAP_MODOP_BVALUES | LdapHelper::LDAP_MODOP_DELETE, "member", {"a"}},
                {kReplace, "cn", {}},
                {kReplace, "name", {"n"}},
                {LdapHelper::LDAP_MODOP_BVALUES | LdapHelper::LDAP_MODOP_DELETE, "absent", {}}});
    const auto expected = std::vector<std::pair<std::string, std::vector<std::string>>>{
        {"member", {"b", "c"}}, {"name", {"n"}}};
    EXPECT_EQ(entry.attributes, expected);
}

}  // namespace
}  // namespace KvMigration
