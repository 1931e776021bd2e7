#include <gtest/gtest.h>

#include <type_traits>

#include "ldap/AttrValue.h"

namespace {

using LdapHelper::attr_list;
using LdapHelper::attr_value;

// A pointer other than a wide text would otherwise become the boolean "TRUE".
static_assert(!std::is_constructible_v<attr_value, const uint8_t*>);
static_assert(!std::is_constructible_v<attr_value, uint8_t*>);
static_assert(!std::is_constructible_v<attr_value, const void*>);
static_assert(!std::is_constructible_v<attr_value, void*>);
static_assert(!std::is_constructible_v<attr_value, const char*>);
static_assert(!std::is_constructible_v<attr_value, char*>);
static_assert(!std::is_constructible_v<attr_value, const Platform::Guid*>);
static_assert(!std::is_convertible_v<const uint8_t*, attr_value>);
static_assert(!std::is_convertible_v<void*, attr_value>);
// What stays: wide texts, the null pointer, (data, length) and every value type.
static_assert(std::is_constructible_v<attr_value, const wchar_t*>);
static_assert(std::is_constructible_v<attr_value, wchar_t*>);
static_assert(std::is_constructible_v<attr_value, const wchar_t (&)[4]>);
static_assert(std::is_constructible_v<attr_value, std::nullptr_t>);
static_assert(std::is_constructible_v<attr_value, const uint8_t*, size_t>);
static_assert(std::is_constructible_v<attr_value, const void*, size_t>);
static_assert(std::is_constructible_v<attr_value, const std::wstring&>);
static_assert(std::is_constructible_v<attr_value, const attr_list&>);
static_assert(std::is_constructible_v<attr_value, const Platform::Guid&>);
static_assert(std::is_constructible_v<attr_value, const std::vector<uint8_t>&>);
static_assert(std::is_constructible_v<attr_value, int32_t>);
static_assert(std::is_constructible_v<attr_value, uint32_t>);
static_assert(std::is_constructible_v<attr_value, uint64_t>);
static_assert(std::is_constructible_v<attr_value, bool>);

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

TEST(AttrValue, EmptyWideTextIsOneZeroByteAndReadsBackEmpty) {
    attr_value value(std::wstring{});
    EXPECT_EQ(value.data(), Bytes({0}));
    EXPECT_EQ(value.count(), 1);
    EXPECT_FALSE(value.empty());
    EXPECT_EQ(value.to_string(), L"");
    EXPECT_EQ(value.values(), std::vector<std::string>{std::string(1, '\0')});
}

TEST(AttrValue, WideTextPointersStayTexts) {
    wchar_t text[] = L"abc";
    wchar_t* mutableText = text;
    EXPECT_EQ(attr_value(mutableText).to_string(), L"abc");
    EXPECT_EQ(attr_value(L"abc").to_string(), L"abc");
    const uint8_t bytes[] = {0x01, 0x00, 0xFF};
    EXPECT_EQ(attr_value(bytes, sizeof(bytes)).data(), Bytes({0x01, 0x00, 0xFF}));
}

TEST(AttrValue, NullPointerIsTheEmptyValue) {
    EXPECT_TRUE(attr_value(static_cast<const wchar_t*>(nullptr)).empty());
    EXPECT_TRUE(attr_value(nullptr).empty());
    EXPECT_TRUE(attr_value(nullptr, 4).empty());
    EXPECT_TRUE(attr_value::from_sid(nullptr).empty());
}

TEST(AttrValue, TextIsUtf8WithoutTerminator) {
    attr_value value(L"Korvant Ж");
    EXPECT_EQ(std::string(value.data().begin(), value.data().end()), "Korvant \xD0\x96");
    EXPECT_EQ(value.to_string(), L"Korvant Ж");
}

TEST(AttrValue, ListUsesLengthPrefixesInListOrder) {
    attr_value value(attr_list{L"ab", L"", L"c"});
    EXPECT_TRUE(value.multi());
    EXPECT_EQ(value.count(), 3);
    EXPECT_EQ(value.data(), Bytes({2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 1, 0, 0, 0, 'c'}));
    EXPECT_EQ(value.to_list(), (attr_list{L"ab", L"", L"c"}));
    EXPECT_EQ(value.values(), (std::vector<std::string>{"ab", "", "c"}));
    EXPECT_EQ(value.to_string(), L"");  // count is not 1

    attr_value single(attr_list{L"only"});
    EXPECT_EQ(single.to_string(), L"only");
    EXPECT_EQ(single.values(), std::vector<std::string>{"only"});

    attr_value none(attr_list{});
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.multi());
}

TEST(AttrValue, ServerValuesOfOneElementUseTheSingleLayout) {
    attr_value one = attr_value::from_wire({"x"});
    EXPECT_FALSE(one.multi());
    EXPECT_EQ(one.to_list(), attr_list{L"x"});
    attr_value two = attr_value::from_wire({"x", "yz"});
    EXPECT_TRUE(two.multi());
    EXPECT_EQ(two.count(), 2);
    EXPECT_EQ(two.to_list(), (attr_list{L"x", L"yz"}));
    EXPECT_TRUE(attr_value::from_wire({}).empty());
}

TEST(AttrValue, NumbersAndFlagsAreAsciiTexts) {
    struct Case {
        attr_value value;
        const char* text;
    };
    const Case cases[] = {
        {attr_value(int32_t{-42}), "-42"},
        {attr_value(uint32_t{4294967295u}), "4294967295"},
        {attr_value(uint64_t{18446744073709551615ull}), "18446744073709551615"},
        {attr_value(true), "TRUE"},
        {attr_value(false), "FALSE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(std::string(c.value.data().begin(), c.value.data().end()), c.text);
        EXPECT_EQ(c.value.count(), 1);
    }
    EXPECT_EQ(attr_value(L"-17").to_int(), -17);
    EXPECT_EQ(attr_value(L"abc").to_int(), 0);
    EXPECT_EQ(attr_value(L"99999999999").to_int(), 2147483647);
    EXPECT_EQ(attr_value(L"4294967295").to_ulong(), 4294967295u);
    EXPECT_EQ(attr_value(L"18446744073709551615").to_uint64(), 18446744073709551615ull);
}

TEST(AttrValue, OnlyUpperCaseTrueIsTrue) {
    for (const wchar_t* text : {L"true", L"True", L"tRUE", L"FALSE", L""}) {
        SCOPED_TRACE(testing::Message() << text);
        EXPECT_FALSE(attr_value(text).to_bool());
    }
    EXPECT_TRUE(attr_value(L"TRUE").to_bool());
}

TEST(AttrValue, GuidNeedsExactlySixteenBytes) {
    Platform::Guid guid{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    attr_value value(guid);
    EXPECT_EQ(value.data(), Bytes({4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(value.to_guid(), guid);
    EXPECT_TRUE(attr_value(std::vector<uint8_t>(15, 1)).to_guid().IsNull());
    EXPECT_TRUE(attr_value(std::vector<uint8_t>(17, 1)).to_guid().IsNull());
}

TEST(AttrValue, SidLengthComesFromItsSubAuthorityCount) {
    const uint8_t sid[] = {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0x20, 2, 0, 0, 0xEE};
    EXPECT_EQ(attr_value::from_sid(sid).data().size(), 16u);
}

}  // namespace
