#include "app/UndoLdif.h"

#include <gtest/gtest.h>

#include <string>

namespace KvMigration {
namespace {

TEST(UndoLdifTest, ValuesThatAreNoSafeStringGoToBase64) {
    struct Case {
        const char* title;
        std::string value;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"plain text", "objectMigrated;", "description: objectMigrated;\n"},
        {"empty", "", "description:\n"},
        {"inner blank", "a b", "description: a b\n"},
        {"leading blank", " a", "description:: IGE=\n"},
        {"trailing blank", "a ", "description:: YSA=\n"},
        {"leading colon", ":a", "description:: OmE=\n"},
        {"leading angle bracket", "<a", "description:: PGE=\n"},
        {"line break inside", "a\nb", "description:: YQpi\n"},
        {"carriage return inside", "a\rb", "description:: YQ1i\n"},
        {"zero byte", std::string("a\0b", 3), "description:: YQBi\n"},
        {"not ASCII", "\xd0\x96", "description:: 0JY=\n"},
        {"DEL", "a\x7f", "description:: YX8=\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(LdifLine("description", c.value), c.line);
    }
}

TEST(UndoLdifTest, LongLinesFoldAtSeventySixColumns) {
    const std::string line = LdifLine("cn", std::string(150, 'x'));
    // "cn: " and 72 characters, then continuations of a blank and 75 characters.
    EXPECT_EQ(line, "cn: " + std::string(72, 'x') + "\n " + std::string(75, 'x') + "\n " +
                        std::string(3, 'x') + "\n");
}

TEST(UndoLdifTest, RecordsReverseEachKindOfChange) {
    EXPECT_EQ(LdifDeleteRecord("CN=p,DC=korvant"), "dn: CN=p,DC=korvant\nchangetype: delete\n\n");
    EXPECT_EQ(
        LdifAddRecord("CN=p,DC=korvant", {{"objectClass", {"top", "container"}}, {"cn", {"p"}}}),
        "dn: CN=p,DC=korvant\nchangetype: add\nobjectClass: top\nobjectClass: container\n"
        "cn: p\n\n");
    EXPECT_EQ(LdifRestoreRecord(
                  "CN=s,DC=korvant", {{"description", {"old"}}, {"orvexKVMail", {}}},
                  {{"1.2.840.113556.1.4.801", std::string("\x30\x03\x02\x01\x04", 5), true}}),
              "dn: CN=s,DC=korvant\ncontrol: 1.2.840.113556.1.4.801 true:: MAMCAQQ=\n"
              "changetype: modify\nreplace: description\ndescription: old\n-\n"
              "replace: orvexKVMail\n-\n\n");
    EXPECT_EQ(LdifMoveRecord("CN=new,CN=b,DC=korvant", "CN=old", "CN=a,DC=korvant"),
              "dn: CN=new,CN=b,DC=korvant\nchangetype: modrdn\nnewrdn: CN=old\n"
              "deleteoldrdn: 1\nnewsuperior: CN=a,DC=korvant\n\n");
    EXPECT_EQ(LdifMoveRecord("CN=new,DC=korvant", "CN=old", ""),
              "dn: CN=new,DC=korvant\nchangetype: modrdn\nnewrdn: CN=old\ndeleteoldrdn: 1\n\n");
}

TEST(UndoLdifTest, DistinguishedNamesWithoutSafeTextGoToBase64) {
    EXPECT_EQ(LdifDeleteRecord("CN=\xd0\x96,DC=k"),
              "dn:: Q0490JYsREM9aw==\nchangetype: delete\n\n");
}

}  // namespace
}  // namespace KvMigration
