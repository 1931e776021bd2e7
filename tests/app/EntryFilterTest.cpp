#include "app/EntryFilter.h"

#include <gtest/gtest.h>

namespace KvMigration {
namespace {

const LdapHelper::LdapEntryData& Policy() {
    static const LdapHelper::LdapEntryData entry{
        "CN={1},CN=Policies,CN=Korvant",
        {{"objectClass", {"orvexKVPolicyObject"}},
         {"orvexKVPolicyGuid", {std::string("\x01\x28\x29\x2a\x5c\x00\xff", 7)}},
         {"name", {"Office Policy"}},
         {"description", {"objectMigrated;"}}}};
    return entry;
}

TEST(EntryFilterTest, MatchesTheFiltersTheImportAsks) {
    struct Case {
        const char* filter;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"(objectClass=*)", true},
        {"objectClass=*", true},
        {"(objectclass=ORVEXKVPOLICYOBJECT)", true},
        {"(&(objectClass=orvexKVPolicyObject)(orvexKVPolicyGuid=\\01\\28\\29\\2a\\5c\\00\\ff))",
         true},
        {"(&(objectClass=orvexKVPolicyObject)(orvexKVPolicyGuid=\\01\\28\\29\\2a\\5c\\00\\fe))",
         false},
        {"(|(objectClass=domainDNS)(objectClass=organizationalUnit))", false},
        {"(|(objectClass=domainDNS)(objectClass=orvexKVPolicyObject))", true},
        {"(!(name=Office Policy))", false},
        {"(name=office*)", true},
        {"(name=*fice*ol*)", true},
        {"(name=*policy)", true},
        {"(name=*office)", false},
        {"(cn=*)", false},
        {"(name>=A)", false},
        {"(name~=Office Policy)", false},
        // Damaged filters match nothing.
        {"(&(name=Office Policy)", false},
        {"(name=\\4)", false},
        {"(&)", false},
        {"", false},
        {"(name=Office Policy))", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(MatchesFilter(c.filter, Policy()), c.matches);
    }
}

TEST(EntryFilterTest, NestingBeyondTheBoundMatchesNothing) {
    auto nested = [](int times) {
        std::string filter;
        for (int i = 0; i < times; ++i) {
            filter += "(!";
        }
        filter += "(name=Office Policy)";
        filter += std::string(static_cast<size_t>(times), ')');
        return filter;
    };
    EXPECT_TRUE(MatchesFilter(nested(2), Policy()));
    EXPECT_TRUE(MatchesFilter(nested(30), Policy()));
    EXPECT_FALSE(MatchesFilter(nested(100), Policy()));
    EXPECT_FALSE(MatchesFilter(nested(100000), Policy()));
}

TEST(EntryFilterTest, RequiredEqualityPrefersAnItemBeyondTheClass) {
    struct Case {
        const char* filter;
        const char* attribute;  // nullptr: none
        std::string value;
    };
    const std::vector<Case> cases = {
        {"(cn=Ivanov)", "cn", "ivanov"},
        {"(&(objectCategory=person)(cn=Ivanov))", "cn", "ivanov"},
        {"(&(objectClass=orvexKVPolicyObject)(objectGUID=\\01\\28))", "objectguid",
         std::string("\x01\x28")},
        {"(&(objectClass=orvexKVOMS))", "objectclass", "orvexkvoms"},
        {"(&(|(objectClass=a)(objectClass=b))(orvexKVObjectGuid=\\41))", "orvexkvobjectguid", "a"},
        {"(|(cn=a)(cn=b))", nullptr, ""},
        {"(!(cn=a))", nullptr, ""},
        {"(&(cn=a*)(name>=b))", nullptr, ""},
        {"(objectClass=*)", nullptr, ""},
        {"(cn=\\4)", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        std::optional<Equality> found = RequiredEquality(c.filter);
        ASSERT_EQ(found.has_value(), c.attribute != nullptr);
        if (found) {
            EXPECT_EQ(found->attribute, c.attribute);
            EXPECT_EQ(found->value, c.value);
        }
    }
}

TEST(EntryFilterTest, DnAtOrBelowHonoursEscapedSeparators) {
    struct Case {
        const char* dn;
        const char* top;
        bool below;
    };
    const std::vector<Case> cases = {
        {"cn=a,cn=b", "cn=a,cn=b", true},
        {"cn=x,cn=a,cn=b", "cn=a,cn=b", true},
        {"cn=xcn=a,cn=b", "cn=a,cn=b", false},
        {"cn=x\\,cn=a,cn=b", "cn=a,cn=b", false},
        {"cn=x\\\\,cn=a,cn=b", "cn=a,cn=b", true},
        {"cn=b", "cn=a,cn=b", false},
        {"cn=a", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dn) + " | " + c.top);
        EXPECT_EQ(DnAtOrBelow(c.dn, c.top), c.below);
    }
}

}  // namespace
}  // namespace KvMigration
