#include <gtest/gtest.h>

#include "ldap/LdapHelper.h"

namespace {

using namespace LdapHelper;

TEST(QueryFilter, BuiltFromConditionsInCodeUnitOrder) {
    struct Case {
        conditions terms;
        const wchar_t* filter;
    };
    const Case cases[] = {
        {{}, L"(objectClass=*)"},
        {{{L"objectClass", L"domainDNS"}}, L"(objectClass=domainDNS)"},
        {{{L"objectClass", L"user"}, {L"Name", L"x"}, {L"cn", L"y"}},
         L"(&(Name=x)(cn=y)(objectClass=user))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.filter);
        EXPECT_EQ(query(L"", SCOPE_SUBTREE, c.terms).filter, c.filter);
    }
}

TEST(QueryFilter, NullBaseIsStoredEmpty) {
    query q(static_cast<const wchar_t*>(nullptr), SCOPE_BASE, L"(cn=*)");
    EXPECT_EQ(q.base, L"");
    EXPECT_EQ(q.scope, SCOPE_BASE);
}

TEST(QueryFilter, ValuesAreEscapedOnRequest) {
    struct Case {
        const wchar_t* text;
        const wchar_t* escaped;
    };
    const Case cases[] = {
        {L"a*(b)", L"a\\2A\\28b\\29"},
        {L"!&/<=>\\|~", L"\\21\\26\\2F\\3C\\3D\\3E\\5C\\7C\\7E"},
        {L"S-1-5-21-1-2-3-500", L"S-1-5-21-1-2-3-500"},
        {L"Отдел", L"Отдел"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text);
        EXPECT_EQ(filter_value(c.text, true), c.escaped);
        EXPECT_EQ(filter_value(c.text, false), c.text);
    }
    EXPECT_EQ(filter_value(static_cast<const wchar_t*>(nullptr), true), L"");
    EXPECT_EQ(filter_value(std::wstring(L"a\0b", 3), true), L"a\\00b");
}

TEST(QueryFilter, GuidBytesAreEscapedOneByOne) {
    Platform::Guid guid{
        0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x2A, 0x28, 0x29, 0x5C, 0x00, 0xFF}};
    EXPECT_EQ(escape_filter_bytes(guid),
              L"\\04\\03\\02\\01\\06\\05\\08\\07\\09\\0a\\2a\\28\\29\\5c\\00\\ff");
}

}  // namespace
