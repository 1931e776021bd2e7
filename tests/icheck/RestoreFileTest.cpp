// The restore file of an erased model: LDIF that ldapadd reads back to the same entries, made
// anew where nobody else can have put anything into it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "icheck/RestoreFile.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

TEST(RestoreFile, ParentsComeFirstAndValuesLdifCannotCarryAreBase64) {
    std::vector<RestoreEntry> entries = {
        {L"CN=child,CN=Type 0x00000006 ID 0x1,CN=Integrity Check Objects,DC=k",
         {{L"objectClass", {"top", "container"}}}},
        {L"CN=Type 0x00000006 ID 0x1,CN=Integrity Check Objects,DC=k",
         {{L"objectClass", {"top", "orvexKVICheckObj"}},
          {L"orvexKVICheckObjID", {"1"}},
          {L"orvexKVICheckObjData", {std::string("\x00\x01\x02", 3)}}}},
        {L"CN=Type 0x00000003 ID 0x2\\, old,CN=Integrity Check Objects,DC=k",
         {{L"description",
           {" leading blank", "trailing blank ", ":colon", "<less", "line\nbreak",
            "\xD0\x96 Cyrillic", "plain text", ""}}}},
    };
    EXPECT_EQ(FormatRestoreLdif(entries, L"First line\nsecond line"),
              "# First line\n"
              "# second line\n"
              "version: 1\n"
              "\n"
              "dn: CN=Type 0x00000006 ID 0x1,CN=Integrity Check Objects,DC=k\n"
              "objectClass: top\n"
              "objectClass: orvexKVICheckObj\n"
              "orvexKVICheckObjID: 1\n"
              "orvexKVICheckObjData:: AAEC\n"
              "\n"
              "dn: CN=Type 0x00000003 ID 0x2\\, old,CN=Integrity Check Objects,DC=k\n"
              "description:: IGxlYWRpbmcgYmxhbms=\n"
              "description:: dHJhaWxpbmcgYmxhbmsg\n"
              "description:: OmNvbG9u\n"
              "description:: PGxlc3M=\n"
              "description:: bGluZQpicmVhaw==\n"
              "description:: 0JYgQ3lyaWxsaWM=\n"
              "description: plain text\n"
              "description: \n"
              "\n"
              "dn: CN=child,CN=Type 0x00000006 ID 0x1,CN=Integrity Check Objects,DC=k\n"
              "objectClass: top\n"
              "objectClass: container\n");
}

TEST(RestoreFile, IsMadeAnewForItsOwnerOnly) {
    KvTest::ScopedTempDir dir;
    const std::wstring path = WriteRestoreFile(dir.Path(), L"x86", "version: 1\n");
    const std::string name = Platform::WideToUtf8(path);
    EXPECT_EQ(name.rfind(dir.Path() + "/KvICheckModel-x86-", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 5), ".ldif");
    EXPECT_EQ(KvTest::ReadFile(name), "version: 1\n");
    struct stat info {};
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(RestoreFile, AFolderThatCannotTakeItIsRaised) {
    KvTest::ScopedTempDir dir;
    try {
        WriteRestoreFile(dir.File("missing"), L"x64", "version: 1\n");
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        const std::wstring text = e.Description();
        EXPECT_EQ(text.rfind(L"The restore file \"" + Platform::Utf8ToWide(dir.File("missing")) +
                                 L"/KvICheckModel-x64-",
                             0),
                  0u)
            << Platform::WideToUtf8(text);
        const std::wstring end =
            L".ldif\" cannot be written: The system cannot find the file "
            L"specified.";
        EXPECT_EQ(text.substr(text.size() - end.size()), end);
    }
}

}  // namespace
}  // namespace KvMigration
