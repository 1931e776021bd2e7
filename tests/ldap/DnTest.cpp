#include <gtest/gtest.h>

#include "ldap/LdapClient.h"

namespace {

using LdapHelper::SplitFirstRdn;

TEST(Dn, FirstNameAndParentAsTheyStandInTheDn) {
    struct Case {
        const char* dn;
        const char* rdn;
        const char* parent;
    };
    const Case cases[] = {
        {"CN=b,OU=x,DC=corp", "CN=b", "OU=x,DC=corp"},
        {"CN=Smith\\, John,OU=y", "CN=Smith\\, John", "OU=y"},
        {"CN=foo\\ ,OU=x", "CN=foo\\ ", "OU=x"},
        {"CN=foo\\\\ ,OU=x", "CN=foo\\\\", "OU=x"},
        {"CN=x;OU=y", "CN=x", "OU=y"},
        {"CN=x; OU=y;DC=z", "CN=x", "OU=y,DC=z"},
        {"CN=x,OU=y, DC=z ", "CN=x", "OU=y,DC=z"},
        {"CN=x,OU=a\\;b,DC=z", "CN=x", "OU=a\\;b,DC=z"},
        {"CN=x;not a name", "CN=x", "not a name"},
        {"CN=\"a,b\";OU=y", "CN=\"a,b\"", "OU=y"},
        {" CN=a b , OU=x", "CN=a b", "OU=x"},
        {"CN=a+OU=b,DC=x", "CN=a+OU=b", "DC=x"},
        {"CN=\\20lead,OU=x", "CN=\\20lead", "OU=x"},
        {"CN=top", "CN=top", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dn);
        std::string rdn;
        std::string parent;
        ASSERT_TRUE(SplitFirstRdn(c.dn, rdn, parent));
        EXPECT_EQ(rdn, c.rdn);
        EXPECT_EQ(parent, c.parent);
    }
}

TEST(Dn, TextThatIsNoDnDoesNotSplit) {
    for (const char* dn : {"", "no equals sign", "=value,OU=x"}) {
        SCOPED_TRACE(dn);
        std::string rdn = "old";
        std::string parent = "old";
        EXPECT_FALSE(SplitFirstRdn(dn, rdn, parent));
        EXPECT_EQ(rdn, "");
        EXPECT_EQ(parent, "");
    }
}

}  // namespace
