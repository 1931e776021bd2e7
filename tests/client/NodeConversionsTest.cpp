#include "client/NodeConversions.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "client/ClientBase64.h"
#include "client/ClientSwitches.h"
#include "helper/Identifiers.h"
#include "support/FakeDirectory.h"
#include "support/TraceCapture.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using LdapHelper::attr_value;
using Values = std::map<std::wstring, attr_value>;

const std::wstring kAlice = L"S-1-5-21-1004336348-1177238915-682003330-1110";
const std::wstring kFlagsCorrected = L"operator >>: invalid elid quill flags corrected";

std::vector<uint8_t> Bytes(size_t count, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

attr_value Sid(const std::wstring& text) {
    return attr_value(StringToSid(text));
}

// "<function> <code>" of the error object the action raises, or "" when it raises none.
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

class NodeConversionsTest : public testing::Test {
protected:
    ~NodeConversionsTest() override { SetLdsStorageMode(false); }

    template <class Holder>
    Holder Read(const Values& values) {
        Holder record;
        *KvTest::Entry(L"CN=x", values) >> record;
        return record;
    }
    LdapHelper::object_ptr Target() { return session.add_object(L"CN=x,DC=t", L"user"); }

    KvTest::FakeSession session;
};

TEST_F(NodeConversionsTest, AUserWithoutProductDataReadsIntoAnEmptyRecord) {
    SetLdsStorageMode(true);
    CUserNodeHolder record = Read<CUserNodeHolder>(
        {{L"orvexKVObjectSid", Sid(kAlice)},
         {L"objectSid", Sid(L"S-1-5-21-9-9-9-9")},
         {L"orvexKVUserAccessLevel", attr_value(L"0")},
         {L"orvexKVUserfOutputSecret", attr_value(L"FALSE")},
         {L"orvexKVUserfPrintSecretPriv", attr_value(L"FALSE")},
         {L"orvexKVUserEffectiveKeyTimeGenerated128", attr_value(L"133500000000000000")}});
    EXPECT_EQ(record.className, L"person");
    EXPECT_EQ(record.name, kAlice);
    EXPECT_TRUE(record.attributes.empty());
}

TEST_F(NodeConversionsTest, AUserReadsEveryProductAttributeOfItsKind) {
    SetLdsStorageMode(true);
    CUserNodeHolder record = Read<CUserNodeHolder>(
        {{L"orvexKVObjectSid", Sid(kAlice)},
         {L"orvexKVUserAccessLevel", attr_value(L"3")},
         {L"orvexKVUserfOutputSecret", attr_value(L"TRUE")},
         {L"orvexKVUserfControlLabels", attr_value(L"FALSE")},
         {L"orvexKVUserEffectivePublicKey128", attr_value(Bytes(128))},
         {L"orvexKVUserEffectiveKeyTimeGenerated128", attr_value(L"133500000000000000")},
         {L"orvexKVUserPreviousKeyTimeGenerated128", attr_value(L"133100000000000000")},
         {L"orvexKVUserPasswordHash", attr_value(Bytes(32))},
         {L"orvexKVUserPasswordTimeGenerated", attr_value(L"7")},
         {L"orvexKVUserQuillCompList", attr_value(Bytes(24))}});
    const std::map<std::wstring, std::wstring> expected = {
        {L"orvexKVUserAccessLevel", L"3"},
        {L"orvexKVUserEffectiveKeyTimeGenerated128", L"133500000000000000"},
        {L"orvexKVUserEffectivePublicKey128", EncodeClientBase64(Bytes(128))},
        {L"orvexKVUserPasswordHash", EncodeClientBase64(Bytes(32))},
        {L"orvexKVUserPasswordTimeGenerated", L"7"},
        {L"orvexKVUserfOutputSecret", L"1"},
    };
    // A key time without its key, and a component list without its imitation, are not read.
    EXPECT_EQ(record.attributes, expected);
}

TEST_F(NodeConversionsTest, TheUsersSidComesFromTheStoragesAttribute) {
    const Values values = {{L"orvexKVObjectSid", Sid(kAlice)},
                           {L"objectSid", Sid(L"S-1-5-21-9-9-9-9")}};
    SetLdsStorageMode(true);
    EXPECT_EQ(Read<CUserNodeHolder>(values).name, kAlice);
    SetLdsStorageMode(false);
    EXPECT_EQ(Read<CUserNodeHolder>(values).name, L"S-1-5-21-9-9-9-9");
    EXPECT_EQ(Read<CUserNodeHolder>({{L"objectSid", attr_value(Bytes(3))}}).name, L"NULL SID");
    EXPECT_EQ(Failure([&] {
                  Read<CUserNodeHolder>({{L"orvexKVObjectSid", Sid(kAlice)}});
              }),
              L"operator >> 1337");
}

TEST_F(NodeConversionsTest, KeysOfTheWrongSizeFailTheObject) {
    SetLdsStorageMode(true);
    EXPECT_EQ(
        Failure([&] {
            Read<CUserNodeHolder>({{L"orvexKVObjectSid", Sid(kAlice)},
                                   {L"orvexKVUserEffectivePublicKey128", attr_value(Bytes(127))}});
        }),
        L"getblob 13");
}

TEST_F(NodeConversionsTest, IdentifierFlagsFollowTheAuthenticationData) {
    struct Case {
        const char* title;
        const wchar_t* flags;  // nullptr: absent
        size_t authInfo;       // 0: absent
        std::wstring recorded;
        bool traced;
    };
    const std::vector<Case> cases = {
        {"flag set for 40 bytes", L"0", 40, L"8", true},
        {"flag cleared without data", L"8", 0, L"0", true},
        {"flag cleared for 39 bytes", L"9", 39, L"1", true},
        {"flag kept with 40 bytes", L"12", 40, L"12", false},
        {"no flags and no data", nullptr, 0, L"", false},
        {"flags absent, 40 bytes", nullptr, 40, L"8", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        Values values = {{L"cn", attr_value(L"token-1")},
                         {L"orvexKVUEIUserSID", Sid(kAlice)},
                         {L"orvexKVUEIType", attr_value(L"1")}};
        if (c.flags != nullptr) {
            values[L"orvexKVUEIFlags"] = attr_value(c.flags);
        }
        if (c.authInfo != 0) {
            values[L"orvexKVUEIAuthInfo"] = attr_value(Bytes(c.authInfo));
        }
        const size_t traceStart = KvTest::TraceLogSize();
        CElidNodeHolder record = Read<CElidNodeHolder>(values);
        EXPECT_EQ(record.className, L"orvexKVUEI");
        EXPECT_EQ(record.name, L"token-1");
        EXPECT_EQ(record.attributes.count(L"orvexKVUEIFlags")
                      ? record.attributes[L"orvexKVUEIFlags"]
                      : L"",
                  c.recorded);
        EXPECT_EQ(KvTest::TraceLogSince(traceStart).find(kFlagsCorrected) != std::wstring::npos,
                  c.traced);
        EXPECT_EQ(record.attributes[L"orvexKVUEIUserSID"], kAlice);
    }
}

TEST_F(NodeConversionsTest, AnIdentifierMustHoldTheSizeItStates) {
    const Values base = {{L"cn", attr_value(L"t")}, {L"orvexKVUEIUserSID", Sid(kAlice)}};
    Values sized = base;
    sized[L"orvexKVUEISize"] = attr_value(L"16");
    sized[L"orvexKVUEIId"] = attr_value(Bytes(15));
    EXPECT_EQ(Failure([&] { Read<CElidNodeHolder>(sized); }), L"getblob 13");
    Values unsized = base;
    unsized[L"orvexKVUEIId"] = attr_value(Bytes(15));
    EXPECT_EQ(Read<CElidNodeHolder>(unsized).attributes[L"orvexKVUEIId"],
              EncodeClientBase64(Bytes(15)));
    EXPECT_EQ(Failure([&] {
                  Read<CElidNodeHolder>({{L"orvexKVUEIUserSID", Sid(kAlice)}});
              }),
              L"operator >> 123");
    EXPECT_EQ(Failure([&] {
                  Read<CElidNodeHolder>({{L"cn", attr_value(L"t")}});
              }),
              L"operator >> 1337");
}

TEST_F(NodeConversionsTest, TheGlobalRecordIsAlwaysNamedGQuillData) {
    CGlobalNodeHolder record =
        Read<CGlobalNodeHolder>({{L"cn", attr_value(L"Other")},
                                 {L"orvexKVGQuillDataKeysCheckData", attr_value(Bytes(64))},
                                 {L"orvexKVGQuillDataKaCheckImit", attr_value(Bytes(8))}});
    EXPECT_EQ(record.className, L"orvexKVGQuillData");
    EXPECT_EQ(record.name, L"GQuillData");
    EXPECT_EQ(record.attributes.size(), 2u);
    EXPECT_EQ(
        Failure([&] {
            Read<CGlobalNodeHolder>({{L"orvexKVGQuillDataSKaCheckImit", attr_value(Bytes(9))}});
        }),
        L"getblob 13");
}

TEST_F(NodeConversionsTest, AUserIsWrittenWithItsSidAndTheMigrationMark) {
    CUserNodeHolder record;
    record.name = kAlice;
    record.attributes = {{L"orvexKVUserfOutputSecret", L"1"},
                         {L"orvexKVUserfPrintSecretPriv", L"0"},
                         {L"orvexKVUserEffectiveKeyTimeGenerated128", L"5"},
                         {L"orvexKVUserPreviousPublicKey128", EncodeClientBase64(Bytes(128))},
                         {L"orvexKVUserPreviousKeyTimeGenerated128", L"6"},
                         {L"orvexKVUserQuillCompList", L"AAAA"}};
    auto object = Target();
    *object << record;
    EXPECT_EQ(object->get_attr(L"orvexKVObjectSid").data(), StringToSid(kAlice));
    EXPECT_EQ(object->get_attr(L"description").to_string(), L"objectMigrated");
    EXPECT_EQ(object->get_attr(L"orvexKVUserfOutputSecret").to_string(), L"TRUE");
    EXPECT_EQ(object->get_attr(L"orvexKVUserfPrintSecretPriv").to_string(), L"FALSE");
    EXPECT_EQ(object->get_attr(L"orvexKVUserPreviousPublicKey128").data(), Bytes(128));
    EXPECT_EQ(object->get_attr(L"orvexKVUserPreviousKeyTimeGenerated128").to_string(), L"6");
    // A key time without its key, and a component list without its imitation, are not written.
    EXPECT_TRUE(object->is_absent(L"orvexKVUserEffectiveKeyTimeGenerated128"));
    EXPECT_TRUE(object->is_absent(L"orvexKVUserQuillCompList"));
    EXPECT_TRUE(object->is_absent(L"orvexKVUserAccessLevel"));
}

TEST_F(NodeConversionsTest, AUserNamedWithoutASidFailsBeforeAnythingIsStaged) {
    for (const std::wstring& name :
         {std::wstring(L"NULL SID"), std::wstring(L"x,CN=Users"), std::wstring(L"")}) {
        SCOPED_TRACE(testing::PrintToString(name));
        CUserNodeHolder record;
        record.name = name;
        record.attributes = {{L"orvexKVUserAccessLevel", L"3"}};
        auto object = Target();
        EXPECT_EQ(Failure([&] { *object << record; }), L"operator << 13");
        EXPECT_TRUE(object->is_absent(L"description"));
        EXPECT_TRUE(object->is_absent(L"orvexKVUserAccessLevel"));
    }
}

TEST_F(NodeConversionsTest, AnIdentifiersAuthenticationDataMustBeFortyBytes) {
    CElidNodeHolder record;
    record.name = L"t";
    record.attributes = {{L"orvexKVUEIUserSID", kAlice},
                         {L"orvexKVUEIType", L"1"},
                         {L"orvexKVUEIFlags", L"8"},
                         {L"orvexKVUEISize", L"16"},
                         {L"orvexKVUEIId", EncodeClientBase64(Bytes(3))},
                         {L"orvexKVUEIAuthInfo", EncodeClientBase64(Bytes(39))}};
    auto object = Target();
    EXPECT_EQ(Failure([&] { *object << record; }), L"setblob 13");
    // What came before the refused value is staged; the importer decides what reaches the server.
    EXPECT_EQ(object->get_attr(L"orvexKVUEIId").data(), Bytes(3));
    EXPECT_EQ(object->get_attr(L"orvexKVUEISize").to_string(), L"16");
    record.attributes[L"orvexKVUEIAuthInfo"] = EncodeClientBase64(Bytes(40));
    *object << record;
    EXPECT_EQ(object->get_attr(L"orvexKVUEIAuthInfo").data(), Bytes(40));
    EXPECT_EQ(object->get_attr(L"orvexKVUEIUserSID").data(), StringToSid(kAlice));
}

TEST_F(NodeConversionsTest, TheGlobalRecordIsWrittenWithTheMigrationMark) {
    CGlobalNodeHolder record;
    record.name = L"GQuillData";
    record.attributes = {{L"orvexKVGQuillDataKeysCheckData", EncodeClientBase64(Bytes(64))}};
    auto object = Target();
    *object << record;
    EXPECT_EQ(object->get_attr(L"description").to_string(), L"objectMigrated");
    EXPECT_EQ(object->get_attr(L"orvexKVGQuillDataKeysCheckData").data(), Bytes(64));
    record.attributes[L"orvexKVGQuillDataKaCheckImit"] = EncodeClientBase64(Bytes(7));
    EXPECT_EQ(Failure([&] { *object << record; }), L"setblob 13");
}

TEST_F(NodeConversionsTest, ARecordIsOneElementWithItsAttributesInNameOrder) {
    CUserNodeHolder record;
    record.className = L"person";
    record.name = kAlice;
    record.attributes = {{L"orvexKVUserfOutputSecret", L"1"},
                         {L"orvexKVUserAccessLevel", L"3"},
                         {L"orvexKVUserEffectivePublicKey128", EncodeClientBase64(Bytes(64))}};
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext());
        writer.StartNode(L"Users", L"");
        writer << record;
        writer.EndNode();
    }
    const std::wstring key = EncodeClientBase64(Bytes(64));
    EXPECT_EQ(text,
              L"<Users>\n  <person orvexKVUserAccessLevel=\"3\" "
              L"orvexKVUserEffectivePublicKey128=\"" +
                  key.substr(0, 76) + L"&#13;&#10;" + key.substr(78) +
                  L"\" orvexKVUserfOutputSecret=\"1\">" + kAlice + L"</person>\n</Users>");
}

}  // namespace
}  // namespace KvMigration
