#include "helper/ReportLines.h"

#include <gtest/gtest.h>

#include "helper/JsonText.h"
#include "support/JsonValue.h"

namespace KvMigration {
namespace {

std::string Json(std::wstring_view text, size_t limit = 65536) {
    std::string out;
    AppendJsonString(out, text, limit);
    return out;
}

TEST(JsonText, EscapesWhatJsonForbidsAndKeepsEveryOtherCharacterAsUtf8) {
    struct Case {
        const char* title;
        std::wstring text;
        std::string json;
    };
    const std::vector<Case> cases = {
        {"empty", L"", "\"\""},
        {"plain", L"CN=Users,DC=corp", "\"CN=Users,DC=corp\""},
        {"quote and backslash", L"CORP\\\"admin\"", "\"CORP\\\\\\\"admin\\\"\""},
        {"control characters", std::wstring(L"a\x01\n\t\x1f\x7f", 6),
         "\"a\\u0001\\u000a\\u0009\\u001f\x7f\""},
        {"nul", std::wstring(L"a\0b", 3), "\"a\\u0000b\""},
        {"Cyrillic", L"\x41f\x43e\x43b\x438\x442\x438\x43a\x430",
         "\"\xd0\x9f\xd0\xbe\xd0\xbb\xd0\xb8\xd1\x82\xd0\xb8\xd0\xba\xd0\xb0\""},
        {"outside the basic plane", L"\x1F600", "\"\xf0\x9f\x98\x80\""},
        {"line separators stay", L"\x2028\x2029", "\"\xe2\x80\xa8\xe2\x80\xa9\""},
        {"lone high surrogate", L"a\xD800z", "\"a\xef\xbf\xbdz\""},
        {"lone low surrogate", L"\xDC00", "\"\xef\xbf\xbd\""},
        {"high surrogate last", L"a\xDBFF", "\"a\xef\xbf\xbd\""},
        {"swapped pair", L"\xDC00\xD800", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"pair as UTF-16 units", L"\xD83D\xDE00", "\"\xf0\x9f\x98\x80\""},
        {"past U+10FFFF", std::wstring(1, static_cast<wchar_t>(0x110000)), "\"\xef\xbf\xbd\""},
        {"negative unit", std::wstring(1, static_cast<wchar_t>(-1)), "\"\xef\xbf\xbd\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string json = Json(c.text);
        EXPECT_EQ(json, c.json);
        EXPECT_TRUE(KvTest::ParseJson(json).has_value()) << json;
    }
}

TEST(JsonText, CutsATextAtTheLimitWithAnEllipsis) {
    EXPECT_EQ(Json(L"abcdef", 3), "\"abc\xe2\x80\xa6\"");
    EXPECT_EQ(Json(L"abc", 3), "\"abc\"");
    // A pair counts as one character and is never split.
    EXPECT_EQ(Json(L"a\xD83D\xDE00z", 2), "\"a\xf0\x9f\x98\x80\xe2\x80\xa6\"");
}

TEST(ReportLines, AnObjectLineHoldsEveryKeyAndEndsTheLine) {
    ObjectEvent event{
        L"Oms", L"Policy", L"{5B2A}", L"Base \"kv\"", ObjectAction::Failed, L"Access is denied.\n",
        5};
    EXPECT_EQ(ReportObjectLine(event),
              "{\"section\":\"Oms\",\"kind\":\"Policy\",\"id\":\"{5B2A}\",\"name\":\"Base "
              "\\\"kv\\\"\",\"action\":\"failed\",\"reason\":\"Access is "
              "denied.\\u000a\",\"code\":5}\n");
    event =
        ObjectEvent{L"Client", L"User", L"S-1-5-21-1-2-3-1105", L"", ObjectAction::Created, L"", 0};
    EXPECT_EQ(ReportObjectLine(event),
              "{\"section\":\"Client\",\"kind\":\"User\",\"id\":\"S-1-5-21-1-2-3-1105\",\"name\":"
              "\"\",\"action\":\"created\",\"reason\":\"\",\"code\":0}\n");
}

TEST(ReportLines, TheSummaryLineCountsEachSectionByActionWithTheRunsEnd) {
    SectionTally oms{L"Oms", {}};
    oms.counts[static_cast<size_t>(ObjectAction::Created)] = 4;
    oms.counts[static_cast<size_t>(ObjectAction::Skipped)] = 1;
    const SectionTally empty{L"ICheck", {}};
    EXPECT_EQ(ReportSummaryLine(ReportSummary{{oms, empty}, 255, false, true}),
              "{\"summary\":{\"Oms\":{\"exported\":0,\"created\":4,\"updated\":0,\"skipped\":1,"
              "\"deleted\":0,\"failed\":0},\"ICheck\":{\"exported\":0,\"created\":0,\"updated\":0,"
              "\"skipped\":0,\"deleted\":0,\"failed\":0}},\"status\":255,\"pass\":\"import\","
              "\"dryRun\":true}\n");
    EXPECT_EQ(ReportSummaryLine(ReportSummary{{}, 0, true, false}),
              "{\"summary\":{},\"status\":0,\"pass\":\"export\",\"dryRun\":false}\n");
}

// The reader the report's tests and its fuzz target check lines with must refuse what a strict
// JSON reader refuses, or their checks prove nothing.
TEST(StrictJsonReader, RefusesWhatTheGrammarOrUtf8Forbids) {
    struct Case {
        const char* title;
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"an object", "{\"a\":[1,-0.5e+3,true,null,\"\\u00e9\\ud83d\\ude00\"]}", true},
        {"a raw control character", "\"a\tb\"", false},
        {"an unknown escape", "\"\\x41\"", false},
        {"an escaped lone surrogate", "\"\\ud800\"", false},
        {"an escaped low surrogate first", "\"\\udc00\\ud800\"", false},
        {"a byte that is no UTF-8", "\"\xff\"", false},
        {"an overlong form", "\"\xc0\xaf\"", false},
        {"an encoded surrogate", "\"\xed\xa0\x80\"", false},
        {"a cut character", "\"\xd0\"", false},
        {"a leading zero", "01", false},
        {"a trailing comma", "{\"a\":1,}", false},
        {"two values", "{} {}", false},
        {"an unterminated string", "\"abc", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(KvTest::ParseJson(c.text).has_value(), c.valid);
    }
    EXPECT_EQ(KvTest::ParseJson("\"\\u00e9\\ud83d\\ude00\"")->text, "\xc3\xa9\xf0\x9f\x98\x80");
}

}  // namespace
}  // namespace KvMigration
