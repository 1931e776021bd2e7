#include "client/ClientValues.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "support/FakeDirectory.h"

namespace KvMigration {
namespace {

using LdapHelper::attr_value;

const std::wstring kSid = L"S-1-5-21-1004336348-1177238915-682003330-1110";

std::vector<uint8_t> Bytes(size_t count) {
    return std::vector<uint8_t>(count, 0x5A);
}

// The function the error names and its code, or "" when no error object came.
template <typename Action>
std::wstring Failure(Action action) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        const std::wstring* function = e.FindEntry(L"Function");
        return (function ? *function : L"") + L" " + std::to_wstring(e.Code());
    }
    return L"";
}

class ClientValuesTest : public testing::Test {
protected:
    // A new object of the fake directory, whose staged values read back through get_attr.
    LdapHelper::object_ptr Target() { return session.add_object(L"CN=x,DC=t", L"user"); }

    KvTest::FakeSession session;
    CNodeHolder record;
};

TEST_F(ClientValuesTest, NumbersReadAsDecimalTextAndZeroIsLeftOut) {
    struct Case {
        const char* title;
        attr_value value;
        const wchar_t* text;  // nullptr: left out
    };
    const std::vector<Case> cases = {
        {"a number", attr_value(L"42"), L"42"},
        {"zero", attr_value(L"0"), nullptr},
        {"absent", attr_value(), nullptr},
        {"not a number reads as 0", attr_value(L"x12"), nullptr},
        {"the largest", attr_value(L"4294967295"), L"4294967295"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        CNodeHolder holder;
        auto object = KvTest::Entry(L"CN=x", {{L"n", c.value}});
        EXPECT_EQ(ReadUInt32(*object, L"n", holder), c.text != nullptr);
        EXPECT_EQ(holder.attributes.count(L"n") ? holder.attributes[L"n"] : L"(left out)",
                  c.text ? c.text : L"(left out)");
    }
    auto big = KvTest::Entry(L"CN=x", {{L"t", attr_value(L"18446744073709551615")}});
    EXPECT_TRUE(ReadUInt64(*big, L"t", record));
    EXPECT_EQ(record.attributes[L"t"], L"18446744073709551615");
}

TEST_F(ClientValuesTest, FlagsReadAsOneOnlyForUpperCaseTrue) {
    struct Case {
        const wchar_t* value;
        bool written;
    };
    for (const Case& c :
         std::vector<Case>{{L"TRUE", true}, {L"FALSE", false}, {L"true", false}, {L"1", false}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.value)));
        CNodeHolder holder;
        auto object = KvTest::Entry(L"CN=x", {{L"f", attr_value(c.value)}});
        EXPECT_EQ(ReadBool(*object, L"f", holder), c.written);
        EXPECT_EQ(holder.attributes.count(L"f") ? holder.attributes[L"f"] : L"",
                  c.written ? L"1" : L"");
    }
}

TEST_F(ClientValuesTest, BlobsOfAFixedSizeMustHaveIt) {
    auto object = KvTest::Entry(L"CN=x", {{L"k128", attr_value(Bytes(128))},
                                          {L"k127", attr_value(Bytes(127))},
                                          {L"any", attr_value(Bytes(5))}});
    EXPECT_TRUE(ReadBlob(*object, L"k128", 128, record));
    EXPECT_EQ(Failure([&] { ReadBlob(*object, L"k127", 128, record); }), L"getblob 13");
    size_t count = 0;
    EXPECT_TRUE(ReadBlob(*object, L"any", 0, record, &count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(record.attributes[L"any"], L"WlpaWlo=");
    EXPECT_FALSE(ReadBlob(*object, L"absent", 128, record, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(record.attributes.count(L"k127"), 0u);
}

TEST_F(ClientValuesTest, SidsThatDoNotConvertReadAsNullSid) {
    const SidBytes sid = StringToSid(kSid);
    EXPECT_EQ(SidText(attr_value(sid)), kSid);
    EXPECT_EQ(SidText(attr_value(std::vector<uint8_t>{1, 2, 3})), L"NULL SID");
}

TEST_F(ClientValuesTest, NumbersParseStrictly) {
    struct Case {
        std::wstring text;
        const char* outcome;  // "ok", "invalid", "range"
    };
    const std::vector<Case> cases = {
        {L"0", "ok"},
        {L"4294967295", "ok"},
        {L"4294967296", "range"},
        {L"", "invalid"},
        {L"abc", "invalid"},
        {L"12x", "invalid"},
        {L" 1", "invalid"},
        {L"-1", "invalid"},
        {L"+1", "invalid"},
        {L"99999999999999999999999", "range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        std::string outcome = "ok";
        try {
            ParseUInt32(c.text, L"orvexKVUEIType");
        } catch (const std::invalid_argument&) {
            outcome = "invalid";
        } catch (const std::out_of_range&) {
            outcome = "range";
        }
        EXPECT_EQ(outcome, c.outcome);
    }
    EXPECT_EQ(ParseUInt64(L"18446744073709551615", L"t"), std::numeric_limits<uint64_t>::max());
    EXPECT_THROW(ParseUInt64(L"18446744073709551616", L"t"), std::out_of_range);
    EXPECT_EQ(ParseInt32(L"-2147483648", L"f"), std::numeric_limits<int32_t>::min());
    EXPECT_THROW(ParseInt32(L"2147483648", L"f"), std::out_of_range);
    try {
        ParseUInt32(L"4294967296", L"orvexKVUEIType");
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(),
                     "The value \"4294967296\" of orvexKVUEIType is out of range for an unsigned "
                     "32-bit number.");
    }
    try {
        ParseInt32(L"yes", L"orvexKVUserfOutputSecret");
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(),
                     "The value \"yes\" of orvexKVUserfOutputSecret is not a decimal number.");
    }
}

TEST_F(ClientValuesTest, WritesStageOnlyWhatTheRecordHolds) {
    record.attributes = {
        {L"n", L"7"},   {L"t", L"133500000000000000"}, {L"f1", L"1"}, {L"f0", L"0"},
        {L"fn", L"-3"}, {L"b", L"WlpaWlo="},           {L"s", kSid}};
    auto object = Target();
    EXPECT_TRUE(WriteUInt32(*object, L"n", record));
    EXPECT_TRUE(WriteUInt64(*object, L"t", record));
    EXPECT_TRUE(WriteBool(*object, L"f1", record));
    EXPECT_TRUE(WriteBool(*object, L"f0", record));
    EXPECT_TRUE(WriteBool(*object, L"fn", record));
    EXPECT_TRUE(WriteBlob(*object, L"b", 5, record));
    EXPECT_TRUE(WriteSid(*object, L"s", record));
    EXPECT_FALSE(WriteUInt32(*object, L"absent", record));
    EXPECT_FALSE(WriteBlob(*object, L"absent", 0, record));
    EXPECT_EQ(object->get_attr(L"n").to_string(), L"7");
    EXPECT_EQ(object->get_attr(L"t").to_string(), L"133500000000000000");
    EXPECT_EQ(object->get_attr(L"f1").to_string(), L"TRUE");
    EXPECT_EQ(object->get_attr(L"f0").to_string(), L"FALSE");
    EXPECT_EQ(object->get_attr(L"fn").to_string(), L"TRUE");
    EXPECT_EQ(object->get_attr(L"b").data(), Bytes(5));
    EXPECT_EQ(object->get_attr(L"s").data(), StringToSid(kSid));
    EXPECT_TRUE(object->is_absent(L"absent"));
}

TEST_F(ClientValuesTest, WritesRefuseWrongSizesAndNonSids) {
    record.attributes = {{L"k", L"WlpaWlo="}, {L"s", L"NULL SID"}, {L"s2", L"x,CN=Users"}};
    auto object = Target();
    EXPECT_EQ(Failure([&] { WriteBlob(*object, L"k", 128, record); }), L"setblob 13");
    EXPECT_EQ(Failure([&] { WriteSid(*object, L"s", record); }), L"setsid 13");
    EXPECT_EQ(Failure([&] { WriteSid(*object, L"s2", record); }), L"setsid 13");
    EXPECT_TRUE(object->is_absent(L"k"));
    EXPECT_TRUE(object->is_absent(L"s"));
}

}  // namespace
}  // namespace KvMigration
