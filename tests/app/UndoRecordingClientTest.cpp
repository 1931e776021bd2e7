#include "app/UndoRecordingClient.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"
#include "support/ScriptedLdapClient.h"

namespace KvMigration {
namespace {

using KvTest::Entry;
using LdapHelper::LdapControl;
using LdapHelper::LdapModification;

const LdapControl kTreeDelete{"1.2.840.113556.1.4.805", std::nullopt, true};
const LdapControl kSdFlags{"1.2.840.113556.1.4.801", std::string("\x30\x03\x02\x01\x04", 5), true};
const char* const kPartHeader =
    "# The records below are in the order of the changes they reverse: the import that wrote "
    "them did not end.\n# Apply them last first (reverse the order of the records) with "
    "ldapmodify -c.\n# server: ldap://127.0.0.1:51000\n\n";
const char* const kFinalHeader =
    "# server: ldap://127.0.0.1:51000\n# Reverses an import; apply with: ldapmodify -c -H "
    "ldap://127.0.0.1:51000 -f <this file>\n\n";

std::wstring Description(const std::function<void()>& action) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        return e.Description();
    }
    return L"(nothing raised)";
}

class UndoRecordingClientTest : public testing::Test {
protected:
    UndoRecordingClientTest()
        : folder(std::make_shared<UndoFolder>(dir.File("undo"))),
          client(std::make_unique<KvTest::ScriptedLdapClient>(script), folder) {
        client.init("127.0.0.1", 51000, false);
        script->calls.clear();
    }

    std::string Part() const {
        return KvTest::ReadFile(dir.File("undo/127.0.0.1_51000.ldif.part"));
    }
    std::string Final() const { return KvTest::ReadFile(dir.File("undo/127.0.0.1_51000.ldif")); }

    KvTest::ScopedTempDir dir;
    std::shared_ptr<KvTest::LdapScript> script = std::make_shared<KvTest::LdapScript>();
    std::shared_ptr<UndoFolder> folder;
    UndoRecordingClient client;
};

TEST_F(UndoRecordingClientTest, AnAddIsReversedByADeleteSavedBeforeItIsSent) {
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    EXPECT_EQ(client.add("CN=p,DC=korvant", {{0x80, "cn", {"p"}}}, {}), 0);
    EXPECT_EQ(script->calls, (std::vector<std::string>{"search 'CN=p,DC=korvant' 0 (objectClass=*)",
                                                       "add CN=p,DC=korvant"}));
    EXPECT_EQ(Part(), std::string(kPartHeader) + "dn: CN=p,DC=korvant\nchangetype: delete\n\n");
}

TEST_F(UndoRecordingClientTest, AnAddOverAnEntryThatIsThereSavesNoDeleteOfIt) {
    script->Reply(0, {Entry("CN=p,DC=korvant")});
    script->changeRc = 0x44;  // entryAlreadyExists
    EXPECT_EQ(client.add("CN=p,DC=korvant", {{0x80, "cn", {"p"}}}, {}), 0x44);
    EXPECT_EQ(script->calls.back(), "add CN=p,DC=korvant");
    folder->Finish();
    struct stat status {};
    EXPECT_NE(stat(dir.File("undo/127.0.0.1_51000.ldif").c_str(), &status), 0)
        << "an undo file without a change to reverse";
}

TEST_F(UndoRecordingClientTest, AModificationIsReversedByThePreviousValuesReadWithItsSdFlags) {
    script->Reply(
        0, {Entry("CN=s,DC=korvant", {{"DESCRIPTION", {"old"}},
                                      {"nTSecurityDescriptor", {std::string("\x01\x00", 2)}}})});
    const std::vector<LdapModification> mods = {
        {0x82, "description", {"objectMigrated;"}},
        {0x82, "nTSecurityDescriptor", {"sd"}},
        {0x82, "orvexKVMail", {"<Mail/>"}},
    };
    EXPECT_EQ(client.modify("CN=s,DC=korvant", mods, {kSdFlags}), 0);
    ASSERT_EQ(script->searches.size(), 1u);
    EXPECT_EQ(script->searches[0].attributes,
              (std::vector<std::string>{"description", "nTSecurityDescriptor", "orvexKVMail"}));
    EXPECT_EQ(script->searches[0].server_controls, std::vector<LdapControl>{kSdFlags});
    EXPECT_EQ(script->calls.back(), "modify CN=s,DC=korvant");
    EXPECT_EQ(Part(), std::string(kPartHeader) +
                          "dn: CN=s,DC=korvant\n"
                          "control: 1.2.840.113556.1.4.801 true:: MAMCAQQ=\n"
                          "changetype: modify\n"
                          "replace: description\ndescription: old\n-\n"
                          "replace: nTSecurityDescriptor\nnTSecurityDescriptor:: AQA=\n-\n"
                          "replace: orvexKVMail\n-\n\n");
}

TEST_F(UndoRecordingClientTest, ATreeDeleteIsReversedByAddsOfTheSubtreeParentsFirst) {
    // The server answers in any order, with what it makes itself among the values.
    script->Reply(0,
                  {Entry("CN=c,CN=p,DC=korvant", {{"objectClass", {"top", "container"}},
                                                  {"cn", {"c"}},
                                                  {"objectGUID", {"0123456789abcdef"}},
                                                  {"whenCreated", {"20261210081237.0Z"}}}),
                   Entry("CN=p,DC=korvant", {{"objectClass", {"top", "container"}},
                                             {"cn", {"p"}},
                                             {"instanceType", {"4"}},
                                             {"name", {"p"}}})},
                  {}, "next");
    script->Reply(0, {Entry("CN=d,CN=c,CN=p,DC=korvant", {{"cn", {"d"}}})});
    EXPECT_EQ(client.remove("CN=p,DC=korvant", {kTreeDelete}), 0);
    EXPECT_EQ(script->calls, (std::vector<std::string>{
                                 "search 'CN=p,DC=korvant' 2 (objectClass=*) page=500 cookie=",
                                 "search 'CN=p,DC=korvant' 2 (objectClass=*) page=500 cookie=next",
                                 "remove CN=p,DC=korvant"}));
    EXPECT_EQ(Part(), std::string(kPartHeader) +
                          "dn: CN=p,DC=korvant\nchangetype: add\nobjectClass: top\n"
                          "objectClass: container\ncn: p\n\n"
                          "dn: CN=c,CN=p,DC=korvant\nchangetype: add\nobjectClass: top\n"
                          "objectClass: container\ncn: c\n\n"
                          "dn: CN=d,CN=c,CN=p,DC=korvant\nchangetype: add\ncn: d\n\n");
}

TEST_F(UndoRecordingClientTest, ASubtreeThatVanishesBetweenPagesIsNotDeletedWithoutItsReversal) {
    script->Reply(0, {Entry("CN=p,DC=korvant", {{"cn", {"p"}}})}, {}, "next");
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    EXPECT_EQ(Description([&] { client.remove("CN=p,DC=korvant", {kTreeDelete}); }),
              L"The entry \"CN=p,DC=korvant\" could not be read for its undo record: No such "
              L"object. Nothing more was written.");
    EXPECT_EQ(script->calls,
              (std::vector<std::string>{
                  "search 'CN=p,DC=korvant' 2 (objectClass=*) page=500 cookie=",
                  "search 'CN=p,DC=korvant' 2 (objectClass=*) page=500 cookie=next"}));
}

TEST_F(UndoRecordingClientTest, TheFinalFileHoldsTheReversalsLastFirstWithoutRefusedChanges) {
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    client.add("CN=a,DC=korvant", {}, {});
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    script->changeRc = LdapHelper::LDAP_RC_INSUFFICIENT_RIGHTS;
    client.add("CN=refused,DC=korvant", {}, {});
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    script->changeRc = LdapHelper::LDAP_RC_SERVER_DOWN;  // may have been made: its reversal stays
    client.add("CN=unknown,DC=korvant", {}, {});
    script->changeRc = 0;
    client.rename("CN=b,DC=korvant", "CN=b2", "CN=x,DC=korvant", true, {});
    folder->Finish();
    EXPECT_EQ(Final(), std::string(kFinalHeader) +
                           "dn: CN=b2,CN=x,DC=korvant\nchangetype: modrdn\nnewrdn: CN=b\n"
                           "deleteoldrdn: 1\nnewsuperior: DC=korvant\n\n"
                           "dn: CN=unknown,DC=korvant\nchangetype: delete\n\n"
                           "dn: CN=a,DC=korvant\nchangetype: delete\n\n");
    struct stat status {};
    EXPECT_NE(stat(dir.File("undo/127.0.0.1_51000.ldif.part").c_str(), &status), 0);
}

TEST_F(UndoRecordingClientTest, NothingIsSentWhenTheReversalCannotBeSavedNorAfterwards) {
    // Something in the way of the file makes it impossible to create.
    ASSERT_EQ(mkdir(dir.File("undo/127.0.0.1_51000.ldif.part").c_str(), 0700), 0);
    script->Reply(LdapHelper::LDAP_RC_NO_SUCH_OBJECT);
    const std::wstring expected =
        L"The undo file \"" + Platform::Utf8ToWide(dir.File("undo/127.0.0.1_51000.ldif.part")) +
        L"\" could not be created: File exists. The change it was to reverse was not sent.";
    EXPECT_EQ(Description([&] { client.add("CN=a,DC=korvant", {}, {}); }), expected);
    EXPECT_EQ(Description([&] { client.remove("CN=b,DC=korvant", {kTreeDelete}); }), expected);
    EXPECT_EQ(Description([&] { folder->Finish(); }), expected);
    EXPECT_EQ(script->calls,
              std::vector<std::string>{"search 'CN=a,DC=korvant' 0 (objectClass=*)"});
}

TEST_F(UndoRecordingClientTest, AnEntryThatCannotBeReadIsNotChanged) {
    script->Reply(LdapHelper::LDAP_RC_INSUFFICIENT_RIGHTS);
    EXPECT_EQ(Description([&] {
                  client.modify("CN=s,DC=korvant", {{0x82, "cn", {"s"}}}, {});
              }),
              L"The entry \"CN=s,DC=korvant\" could not be read for its undo record: Insufficient "
              L"access. Nothing more was written.");
    EXPECT_EQ(script->calls.back(), "search 'CN=s,DC=korvant' 0 (objectClass=*)");
}

TEST_F(UndoRecordingClientTest, AServerGoneBeforeTheReadFailsTheWriteWithItsOwnCode) {
    script->ReplyFailure(LdapHelper::LDAP_RC_SERVER_DOWN);
    EXPECT_EQ(client.modify("CN=s,DC=korvant", {{0x82, "cn", {"s"}}}, {}),
              LdapHelper::LDAP_RC_SERVER_DOWN);
    EXPECT_EQ(script->calls.back(), "search 'CN=s,DC=korvant' 0 (objectClass=*)");
    script->Reply(0, {Entry("CN=s,DC=korvant", {{"cn", {"s"}}})});
    EXPECT_EQ(client.modify("CN=s,DC=korvant", {{0x82, "cn", {"s"}}}, {}), 0);
}

TEST(UndoFolderTest, AFolderWithAnEarlierRunsFilesIsRefusedAndAMissingOneIsMadePrivate) {
    KvTest::ScopedTempDir dir;
    for (const char* name : {"127.0.0.1_51000.ldif", "127.0.0.1_51002.ldif.part"}) {
        SCOPED_TRACE(name);
        const std::string folder = dir.File(std::string("old-") + name);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        KvTest::WriteFile(folder + "/" + name, "");
        EXPECT_EQ(Description([&] { UndoFolder undo(folder); }),
                  L"The undo folder \"" + Platform::Utf8ToWide(folder) + L"\" already holds \"" +
                      Platform::Utf8ToWide(name) +
                      L"\" of an earlier import; name an empty or new folder with -undo.");
    }
    UndoFolder made(dir.File("new"));
    struct stat status {};
    ASSERT_EQ(stat(dir.File("new").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(UndoFileName("lds1.corp.local", 50000), "lds1.corp.local_50000.ldif");
    EXPECT_EQ(UndoFileName("fe80::1%eth0", 50000), "fe80__1_eth0_50000.ldif");
}

// A failed finish is not tried again (the fatal output would otherwise repeat it at the run's
// end): the ".part" the run has named stays whole, and no final file appears behind it.
TEST(UndoFileTest, AFinishThatFailedIsNotTriedAgain) {
    KvTest::ScopedTempDir dir;
    const std::string path = dir.File("h_1.ldif");
    UndoFile file(path, "ldap://h:1");
    file.Append("dn: CN=a\nchangetype: delete\n\n");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(Description([&] { file.Finish(); }), L"The undo file \"" +
                                                       Platform::Utf8ToWide(path) +
                                                       L"\" could not be created: File exists.");
    ASSERT_EQ(rmdir(path.c_str()), 0);
    EXPECT_EQ(Description([&] { file.Finish(); }), L"(nothing raised)");
    struct stat status {};
    EXPECT_NE(stat(path.c_str(), &status), 0) << "a final file was written after the failure";
    EXPECT_NE(KvTest::ReadFile(path + ".part").find("dn: CN=a\n"), std::string::npos);
}

}  // namespace
}  // namespace KvMigration
