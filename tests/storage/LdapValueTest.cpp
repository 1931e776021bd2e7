#include "storage/LdapValue.h"

#include "base/KvError.h"
#include "helper/Identifiers.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace KvMigration {
namespace {

using LdapHelper::attr_value;

std::optional<uint32_t> ErrorCodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        return e.Code();
    }
    return std::nullopt;
}

attr_value Bytes(const std::string& bytes) {
    return attr_value(bytes.data(), bytes.size());
}

const wchar_t* kSid = L"S-1-5-21-3623811015-3361044348-30300820-1013";
const wchar_t* kGuid = L"079aa557-4a18-424a-8eee-e39f0a8d41b9";

TEST(LdapValueTest, DirectoryValuesBecomeTheirFileTexts) {
    struct Case {
        const char* title;
        AttributeType type;
        attr_value values;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {"SID in binary form", AttributeType::Sid, attr_value(StringToSid(kSid)), kSid},
        {"missing SID", AttributeType::Sid, attr_value(), L""},
        {"GUID bytes", AttributeType::Guid, attr_value(GuidFromString(kGuid)), kGuid},
        {"string", AttributeType::String, attr_value(L"Отдел кадров"), L"Отдел кадров"},
        {"string with embedded NULs", AttributeType::String, Bytes(std::string("a\0b\0c", 5)),
         L"abc"},
        {"first of several strings", AttributeType::String,
         attr_value(LdapHelper::attr_list{L"one", L"two"}), L"one"},
        {"binary", AttributeType::Binary, Bytes("abc"), L"YWJj"},
        {"binary with a zero byte", AttributeType::Binary, Bytes(std::string("\0", 1)), L"AA=="},
        {"missing binary", AttributeType::Binary, attr_value(), L""},
        {"integer", AttributeType::Integer, attr_value(int32_t{-42}), L"-42"},
        {"missing integer", AttributeType::Integer, attr_value(), L"0"},
        {"boolean TRUE", AttributeType::Boolean, attr_value(true), L"true"},
        {"boolean FALSE", AttributeType::Boolean, attr_value(false), L"false"},
        {"boolean in lower case is not true", AttributeType::Boolean, attr_value(L"true"),
         L"false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(StringFromLdapValue(c.type, c.values), c.text);
    }
}

TEST(LdapValueTest, FileTextsBecomeTheirDirectoryValues) {
    struct Case {
        const char* title;
        AttributeType type;
        CValue value;
        attr_value expected;
    };
    const std::vector<Case> cases = {
        {"SID text", AttributeType::Sid, CValue(kSid), attr_value(StringToSid(kSid))},
        {"empty SID text gives no value", AttributeType::Sid, CValue(L""), attr_value()},
        {"GUID text", AttributeType::Guid, CValue(kGuid), attr_value(GuidFromString(kGuid))},
        {"upper-case GUID text", AttributeType::Guid,
         CValue(L"079AA557-4A18-424A-8EEE-E39F0A8D41B9"), attr_value(GuidFromString(kGuid))},
        {"string", AttributeType::String, CValue(L"Отдел"), attr_value(L"Отдел")},
        {"empty string is one zero byte", AttributeType::String, CValue(L""), Bytes({'\0'})},
        {"list", AttributeType::MultiString, CValue(std::vector<std::wstring>{L"a", L"bc"}),
         attr_value(LdapHelper::attr_list{L"a", L"bc"})},
        {"Base64 with line breaks", AttributeType::Binary, CValue(L"YW\r\nJj"), Bytes("abc")},
        {"integer with trailing text", AttributeType::Integer, CValue(L"12abc"),
         attr_value(int32_t{12})},
        {"integer that is no number", AttributeType::Integer, CValue(L"x"), attr_value(int32_t{0})},
        {"true", AttributeType::Boolean, CValue(L"true"), attr_value(true)},
        {"anything else is false", AttributeType::Boolean, CValue(L"TRUE"), attr_value(false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        attr_value value = AttributeToLdapValue(c.type, c.value);
        EXPECT_EQ(value.data(), c.expected.data());
        EXPECT_EQ(value.count(), c.expected.count());
        EXPECT_EQ(value.multi(), c.expected.multi());
    }
}

TEST(LdapValueTest, EveryTypeSurvivesTheRoundTrip) {
    struct Case {
        AttributeType type;
        std::wstring text;
    };
    const Case cases[] = {{AttributeType::Sid, kSid},
                          {AttributeType::Guid, kGuid},
                          {AttributeType::String, L"текст"},
                          {AttributeType::Binary, L"AAEC/w=="},
                          {AttributeType::Integer, L"2147483647"},
                          {AttributeType::Boolean, L"true"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        EXPECT_EQ(StringFromLdapValue(c.type, AttributeToLdapValue(c.type, CValue(c.text))),
                  c.text);
    }
}

TEST(LdapValueTest, UnconvertibleValuesRaiseTheirCodes) {
    struct Case {
        const char* title;
        std::function<void()> action;
        uint32_t code;
    };
    const auto unknown = static_cast<AttributeType>(7);
    const std::vector<Case> cases = {
        {"multi-string read as one text",
         [] { StringFromLdapValue(AttributeType::MultiString, attr_value(L"x")); }, 13},
        {"unknown type read", [&] { StringFromLdapValue(unknown, attr_value(L"x")); }, 87},
        {"unknown type written", [&] { AttributeToLdapValue(unknown, CValue(L"x")); }, 87},
        {"empty GUID text", [] { AttributeToLdapValue(AttributeType::Guid, CValue(L"")); }, 13},
        {"malformed GUID text",
         [] { AttributeToLdapValue(AttributeType::Guid, CValue(L"{not-a-guid}")); }, 13},
        {"malformed SID text", [] { AttributeToLdapValue(AttributeType::Sid, CValue(L"S-x")); },
         13},
        {"list where one text is expected",
         [] {
             AttributeToLdapValue(AttributeType::String,
                                  CValue(std::vector<std::wstring>{L"a", L"b"}));
         },
         13},
        {"single text where a list is expected",
         [] { AttributeToLdapValue(AttributeType::MultiString, CValue(L"a")); }, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(ErrorCodeOf(c.action), c.code);
    }
}

}  // namespace
}  // namespace KvMigration
