#include "app/CommandLine.h"
#include "app/InputParameters.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using KvMigration::CommandLine;

TEST(CommandLine, KeysValuesAndStrayArguments) {
    struct Case {
        const char* name;
        std::vector<std::wstring> arguments;
        std::vector<std::pair<std::wstring, std::vector<std::wstring>>> expected;
    };
    const Case cases[] = {
        {"negative numbers are values", {L"-lds", L"-5", L"-12"}, {{L"-lds", {L"-5", L"-12"}}}},
        {"a key after a key takes no value", {L"-ex", L"-lds"}, {{L"-ex", {}}, {L"-lds", {}}}},
        {"first occurrence wins", {L"-ex", L"a.xml", L"-ex", L"b.xml"}, {{L"-ex", {L"a.xml"}}}},
        {"later stray value joins the first key",
         {L"-ex", L"a", L"-ex", L"b", L"c"},
         {{L"-ex", {L"a", L"c"}}}},
        {"stray values go to the last key",
         {L"-cr", L"u:p", L"x", L"-fi", L"y"},
         {{L"-cr", {L"u:p", L"x"}}, {L"-fi", {L"y"}}}},
        {"arguments before the first key are dropped", {L"x", L"y", L"-h"}, {{L"-h", {}}}},
        {"a lone dash is a value", {L"-ex", L"-", L"-"}, {{L"-ex", {L"-", L"-"}}}},
        {"keys are case-sensitive",
         {L"-EX", L"f", L"-ex", L"g"},
         {{L"-EX", {L"f"}}, {L"-ex", {L"g"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CommandLine commandLine(c.arguments);
        EXPECT_EQ(commandLine.KeyCount(), c.expected.size());
        for (const auto& [key, values] : c.expected) {
            ASSERT_TRUE(commandLine.Has(key));
            ASSERT_EQ(commandLine.ValueCount(key), values.size());
            for (size_t i = 0; i < values.size(); ++i) {
                EXPECT_EQ(commandLine.Value(key, i), values[i]);
            }
        }
    }
}

TEST(CommandLine, ReadFirstArgumentRequiredAndOptional) {
    CommandLine commandLine({L"-ex", L"-srv", L"host"});
    EXPECT_EQ(KvMigration::ReadFirstArgument(commandLine, L"-srv", true), L"host");
    EXPECT_EQ(KvMigration::ReadFirstArgument(commandLine, L"-dc", false), L"");
    EXPECT_ANY_THROW(KvMigration::ReadFirstArgument(commandLine, L"-ex", true));
}

TEST(StringToInt, BehavesLikeStoi) {
    struct Case {
        const wchar_t* text;
        int32_t value;
    };
    const Case cases[] = {{L"50100", 50100}, {L"  42abc", 42},    {L"-7", -7},
                          {L"+8", 8},        {L"501002", 501002}, {L"2147483647", 2147483647}};
    for (const auto& c : cases) {
        EXPECT_EQ(KvMigration::StringToInt(c.text), c.value);
    }
    for (const wchar_t* bad : {L"", L"abc", L" :", L"-"}) {
        try {
            KvMigration::StringToInt(bad);
            ADD_FAILURE() << "no throw";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "invalid stoi argument");
        }
    }
    try {
        KvMigration::StringToInt(L"2147483648");
        ADD_FAILURE() << "no throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "stoi argument out of range");
    }
}

}  // namespace
