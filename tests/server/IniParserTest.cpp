#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "server/IniParser.h"

namespace KvMigration {
namespace {

using Call = std::tuple<std::wstring, std::wstring, std::wstring>;

TEST(IniParser, ReportsOnePairPerEqualsSignAfterASectionHeader) {
    struct Case {
        const char* name;
        std::wstring text;
        std::vector<Call> calls;
        int result;
    };
    const Case cases[] = {
        {"plain pairs, nothing trimmed",
         L"[Version]\nRevision=7\n[Policy]\n Key = a value \n",
         {{L"Version", L"Revision", L"7"}, {L"Policy", L" Key ", L" a value "}},
         IniParsed},
        {"a=b=c gives two pairs",
         L"[S]\na=b=c",
         {{L"S", L"a", L"b=c"}, {L"S", L"a=b", L"c"}},
         IniParsed},
        {"comments after \";\" and \"#\", also inside a value",
         L"[S];comment\nk=v;tail\nm=w#tail=x\n;n=1\n#o=2",
         {{L"S", L"k", L"v"}, {L"S", L"m", L"w"}},
         IniParsed},
        {"pairs before the first header are ignored",
         L"a=1\n[S]\nb=2",
         {{L"S", L"b", L"2"}},
         IniParsed},
        {"a header ends the line", L"[S] x=1\ny=2", {{L"S", L"y", L"2"}}, IniParsed},
        {"an empty header is a section", L"[]\nk=v", {{L"", L"k", L"v"}}, IniParsed},
        {"a \"[\" without \"]\": the line number over non-empty lines",
         L"[S]\n\n\nk=v\n[Broken\nz=1",
         {{L"S", L"k", L"v"}},
         2},
        {"a \"[\" inside a value starts a header too", L"[S]\nk=[x", {{L"S", L"k", L"[x"}}, 1},
        {"carriage returns are part of the text",
         L"[S]\r\nk=v\r\n",
         {{L"S", L"k", L"v\r"}},
         IniParsed},
        {"empty text", L"", {}, IniParsed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Call> calls;
        int result = ParseIni(
            c.text, [&](std::wstring_view section, std::wstring_view key, std::wstring_view value) {
                calls.emplace_back(section, key, value);
                return true;
            });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(calls, c.calls);
    }
}

TEST(IniParser, StopsAtTheLineWhereTheHandlerDeclines) {
    int calls = 0;
    int result = ParseIni(L"[S]\na=1\nb=2\nc=3",
                          [&](std::wstring_view, std::wstring_view key, std::wstring_view) {
                              ++calls;
                              return key != L"b";
                          });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace KvMigration
