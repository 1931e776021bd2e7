#include <gtest/gtest.h>

#include "transform/XmlText.h"

namespace KvMigration {
namespace {

TEST(XmlText, TurnsTheWritersNonAsciiReferencesBackIntoCharacters) {
    struct Case {
        std::wstring written;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"<A n=\"&#x41F;&#x440;&#x2116;1\"/>", L"<A n=\"Пр№1\"/>"},
        {L"&#x1F600;", L"\U0001F600"},
        {L"&amp;#x41F;", L"&amp;#x41F;"},
        {L"&#9;&#10;&#x41;&#x7F;", L"&#9;&#10;&#x41;&#x7F;"},
        {L"&#xD800;&#x110000;&#x;&#x41F&#x0000000041F;",
         L"&#xD800;&#x110000;&#x;&#x41F&#x0000000041F;"},
        {L"&#x", L"&#x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.written));
        EXPECT_EQ(WithLiteralCharacters(c.written), c.expected);
    }
}

}  // namespace
}  // namespace KvMigration
