#include "sections/client/ClientImporter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "client/ClientBase64.h"
#include "platform/CodePage.h"
#include "sections/client/ClientTestSupport.h"
#include "support/TraceCapture.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

using LdapHelper::attr_value;

const std::wstring kRoot = L"DC=korvant";
const std::wstring kUsers = L"CN=Users," + kRoot;
const std::wstring kConfig = L"CN=Korvant 5.0 Configuration," + kRoot;
const std::wstring kElids = L"CN=User Electronic Identifiers," + kConfig;
const std::string kStarted =
    "Client objects import started for LDS server:  \n"
    "Client objects will be imported into:  DC=korvant\n";
const std::string kTotalsOfNothing =
    "Imported  0  Global Quill Data (orvexKVGQuillData) objects.\n"
    "Imported  0  users (person) objects.\n"
    "Imported  0  user tokens (orvexKVUEI) objects.\n";

std::wstring UserDn(const std::wstring& sid) {
    return L"CN=" + sid + L"," + kUsers;
}

std::wstring UserFilter(const std::wstring& sid) {
    return L"(&(cn=" + sid + L")(objectCategory=person))";
}

std::wstring Section(const std::wstring& globals, const std::wstring& users,
                     const std::wstring& elids) {
    return L"<Korvant><Config/><Data><Client><Globals>" + globals + L"</Globals><Users>" + users +
           L"</Users><Elids>" + elids + L"</Elids></Client></Data></Korvant>";
}

class ClientImporterTest : public ClientSectionTest {
protected:
    ClientImporterTest() {
        context.storage = {nullptr, true, target, nullptr};
        context.serverSid = kOms;
        context.journal->AddSink(events);
        AnswerServer(*target, kRoot);
    }

    // Reads the document with a client importer registered for its section; returns the console
    // lines, and the code of an error that left the reading (0 for none).
    std::string Import(const std::wstring& document, uint32_t* leftWith = nullptr) {
        testing::internal::CaptureStdout();
        uint32_t code = 0;
        try {
            SaxReader reader(XmlSource{document}, context);
            reader.RegisterImporter(L"Korvant/Data/Client", importer);
            reader.Resume();
        } catch (const KvBase::CKvError& e) {
            code = e.Code();
        }
        if (leftWith != nullptr) {
            *leftWith = code;
        } else {
            EXPECT_EQ(code, 0u);
        }
        return testing::internal::GetCapturedStdout();
    }

    // An entry that is in the target and that the creator's search finds.
    void Existing(const std::wstring& dn, const std::wstring& filter, const std::wstring& base,
                  std::map<std::wstring, attr_value> values) {
        target->Put(dn, values);
        target->Answer(base, filter,
                       {std::make_shared<KvTest::FakeObject>(dn, values, target.get())});
    }

    std::shared_ptr<KvTest::FakeSession> target = std::make_shared<KvTest::FakeSession>();
    std::shared_ptr<ClientImporter> importer = std::make_shared<ClientImporter>();
    MigrationContext context;
    std::shared_ptr<JournalLines> events = std::make_shared<JournalLines>();
};

std::wstring Created(const std::wstring& kind, const std::wstring& name) {
    return L"created " + kind + L" " + name + L" (" + name + L")";
}

TEST_F(ClientImporterTest, ThreeEmptyContainersImportNothing) {
    EXPECT_EQ(Import(Section(L"", L"", L"")),
              kStarted + kTotalsOfNothing + "Client objects import finished.\n");
    EXPECT_TRUE(target->Writes().empty());
    EXPECT_EQ(target->Requests().size(), 1u);
    EXPECT_TRUE(LdsStorageMode());
    EXPECT_FALSE(ForceImportMode());
    EXPECT_TRUE(events->lines.empty());
}

TEST_F(ClientImporterTest, ANewUserIsCreatedWithItsSidTheMarkAndItsAttributes) {
    const std::wstring key = EncodeClientBase64(Bytes(128));
    std::wstring escapedKey = key;
    escapedKey.replace(escapedKey.find(L"\r\n"), 2, L"&#13;&#10;");
    escapedKey.replace(escapedKey.find(L"\r\n"), 2, L"&#13;&#10;");
    const std::string console = Import(
        Section(L"",
                L"<person orvexKVUserAccessLevel=\"3\" orvexKVUserEffectivePublicKey128=\"" +
                    escapedKey + L"\" orvexKVUserfOutputSecret=\"1\">" + kAlice + L"</person>",
                L""));
    EXPECT_EQ(console, kStarted +
                           "Imported  0  Global Quill Data (orvexKVGQuillData) objects.\n"
                           "Imported  1  users (person) objects.\n"
                           "Imported  0  user tokens (orvexKVUEI) objects.\n"
                           "Client objects import finished.\n");
    EXPECT_EQ(target->Writes(),
              std::vector<std::wstring>{L"add " + UserDn(kAlice) +
                                        L" cn description objectClass orvexKVObjectSid "
                                        L"orvexKVUserAccessLevel orvexKVUserEffectivePublicKey128 "
                                        L"orvexKVUserfOutputSecret"});
    const std::wstring dn = UserDn(kAlice);
    EXPECT_EQ(target->Value(dn, L"objectClass").to_string(), L"user");
    EXPECT_EQ(target->Value(dn, L"cn").to_string(), kAlice);
    EXPECT_EQ(target->Value(dn, L"description").to_string(), L"objectMigrated");
    EXPECT_EQ(target->Value(dn, L"orvexKVObjectSid").data(), StringToSid(kAlice));
    EXPECT_EQ(target->Value(dn, L"orvexKVUserEffectivePublicKey128").data(), Bytes(128));
    EXPECT_EQ(target->Value(dn, L"orvexKVUserfOutputSecret").to_string(), L"TRUE");
    ASSERT_EQ(target->Requests().size(), 2u);
    EXPECT_EQ(target->Requests()[1].base, kUsers);
    EXPECT_EQ(target->Requests()[1].filter, UserFilter(kAlice));
    EXPECT_EQ(importer->Counters().users, 1u);
    EXPECT_EQ(events->lines, std::vector<std::wstring>{Created(L"person", kAlice)});
}

TEST_F(ClientImporterTest, AnUnmarkedUserIsOverwrittenAndKeepsWhatTheRecordLacks) {
    for (const wchar_t* description : {L"", L"objectMigrated;", L"made by the product"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(description)));
        target = std::make_shared<KvTest::FakeSession>();
        AnswerServer(*target, kRoot);
        context.storage.ldsSession = target;
        std::map<std::wstring, attr_value> values = {
            {L"objectClass", attr_value(L"user")},
            {L"orvexKVObjectSid", Sid(kBob)},
            {L"orvexKVUserAccessLevel", attr_value(L"5")},
            {L"orvexKVUserfOutputSecret", attr_value(L"TRUE")}};
        if (*description != L'\0') {
            values[L"description"] = attr_value(description);
        }
        Existing(UserDn(kBob), UserFilter(kBob), kUsers, values);
        Import(Section(L"", L"<person orvexKVUserAccessLevel=\"1\">" + kBob + L"</person>", L""));
        EXPECT_EQ(target->Writes(), std::vector<std::wstring>{L"modify " + UserDn(kBob) +
                                                              L" description orvexKVObjectSid "
                                                              L"orvexKVUserAccessLevel"});
        EXPECT_EQ(target->Value(UserDn(kBob), L"orvexKVUserAccessLevel").to_string(), L"1");
        EXPECT_EQ(target->Value(UserDn(kBob), L"orvexKVUserfOutputSecret").to_string(), L"TRUE");
        EXPECT_EQ(target->Value(UserDn(kBob), L"description").to_string(), L"objectMigrated");
        EXPECT_EQ(events->lines,
                  std::vector<std::wstring>{L"updated person " + kBob + L" (" + kBob + L")"});
        events->lines.clear();
    }
}

TEST_F(ClientImporterTest, AnObjectAnImportMarkedNeedsTheForcedImport) {
    const std::wstring token = L"CN=token-alice-1," + kElids;
    Existing(UserDn(kAlice), UserFilter(kAlice), kUsers,
             {{L"description", attr_value(L"objectMigrated")},
              {L"orvexKVUserAccessLevel", attr_value(L"3")}});
    Existing(token, L"(&(cn=token-alice-1)(objectCategory=orvexKVUEI))", kElids,
             {{L"description", attr_value(L"objectMigrated")}});
    Existing(L"CN=GQuillData," + kConfig, L"(&(cn=GQuillData)(objectCategory=orvexKVGQuillData))",
             kConfig, {{L"description", attr_value(L"objectMigrated")}});
    const std::wstring document = Section(
        L"<orvexKVGQuillData orvexKVGQuillDataKaCheckImit=\"AQIDBAUGBwg=\">GQuillData"
        L"</orvexKVGQuillData>",
        L"<person orvexKVUserAccessLevel=\"4\">" + kAlice + L"</person>",
        L"<orvexKVUEI orvexKVUEIType=\"2\" orvexKVUEIUserSID=\"" + kAlice +
            L"\">token-alice-1</orvexKVUEI>");
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(Import(document),
              kStarted +
                  "Global Quill Data import finished with error:  Object already exists. Use -fi "
                  "flag.\n"
                  "Imported  0  Global Quill Data (orvexKVGQuillData) objects.\n"
                  "User  " +
                  std::string(kAlice.begin(), kAlice.end()) +
                  "  import finished with error:  Object already exists. Use -fi flag.\n"
                  "Imported  0  users (person) objects.\n"
                  "User token  token-alice-1  import finished with error:  Object already exists. "
                  "Use -fi flag.\n"
                  "Imported  0  user tokens (orvexKVUEI) objects.\n"
                  "Client objects import finished.\n");
    EXPECT_TRUE(target->Writes().empty());
    EXPECT_NE(KvTest::TraceLogSince(traceStart)
                  .find(L"Function: TLdapCreator<class TLdapQuery<class CUserNodeHolder,class "
                        L"TQueryQualifier<class UserSearchBase,class UserListFilter,class "
                        L"UserAttributes> > >::CheckEmptyObject"),
              std::wstring::npos);
    EXPECT_EQ(sink.records.size(), 3u);
    const std::wstring exists = L": Object already exists. Use -fi flag.";
    EXPECT_EQ(events->lines, (std::vector<std::wstring>{
                                 L"skipped orvexKVGQuillData GQuillData (GQuillData)" + exists,
                                 L"skipped person " + kAlice + L" (" + kAlice + L")" + exists,
                                 L"skipped orvexKVUEI token-alice-1 (token-alice-1)" + exists}));
    events->lines.clear();

    context.forceImport = true;
    importer = std::make_shared<ClientImporter>();
    EXPECT_EQ(Import(document), kStarted +
                                    "Imported  1  Global Quill Data (orvexKVGQuillData) objects.\n"
                                    "Imported  1  users (person) objects.\n"
                                    "Imported  1  user tokens (orvexKVUEI) objects.\n"
                                    "Client objects import finished.\n");
    EXPECT_EQ(target->Writes().size(), 3u);
    EXPECT_EQ(target->Value(UserDn(kAlice), L"orvexKVUserAccessLevel").to_string(), L"4");
    EXPECT_EQ(target->Value(token, L"orvexKVUEIType").to_string(), L"2");
    EXPECT_TRUE(ForceImportMode());
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{L"updated orvexKVGQuillData GQuillData (GQuillData)",
                                         L"updated person " + kAlice + L" (" + kAlice + L")",
                                         L"updated orvexKVUEI token-alice-1 (token-alice-1)"}));
}

TEST_F(ClientImporterTest, NamesFromTheFileNameOneEntryDirectlyBelowTheBase) {
    const std::wstring name = L"x,CN=Korvant 5.0 Configuration";
    Import(Section(
        L"", L"", L"<orvexKVUEI orvexKVUEIUserSID=\"" + kAlice + L"\">" + name + L"</orvexKVUEI>"));
    const std::wstring dn = L"CN=x\\,CN\\=Korvant 5.0 Configuration," + kElids;
    EXPECT_EQ(
        target->Writes(),
        std::vector<std::wstring>{L"add " + dn + L" cn description objectClass orvexKVUEIUserSID"});
    EXPECT_EQ(target->Value(dn, L"cn").to_string(), name);
    EXPECT_EQ(target->Value(dn, L"objectClass").to_string(), L"orvexKVUEI");
    EXPECT_EQ(target->Requests().back().filter,
              L"(&(cn=x,CN\\3DKorvant 5.0 Configuration)(objectCategory=orvexKVUEI))");
}

TEST_F(ClientImporterTest, ARecordThatCannotBeConvertedChangesNothingAndTheNextOneImports) {
    struct Case {
        const char* title;
        std::wstring users;
        std::wstring elids;
        std::string line;
        std::wstring event;  // the journal's failure of the bad record, without its code
    };
    const std::string alice(kAlice.begin(), kAlice.end());
    const std::wstring failedAlice = L"failed person " + kAlice + L" (" + kAlice + L"): ";
    const std::wstring failedToken = L"failed orvexKVUEI token-alice-1 (token-alice-1): ";
    const std::vector<Case> cases = {
        {"a user not named by a SID", L"<person orvexKVUserAccessLevel=\"3\">x,CN=Users</person>",
         L"", "User  x,CN=Users  import finished with error:  The data is invalid.\n",
         L"failed person x,CN=Users (x,CN=Users): The data is invalid. [13]"},
        {"a number out of range",
         L"<person orvexKVUserAccessLevel=\"4294967296\" orvexKVUserfPrintSecretPriv=\"1\">" +
             kAlice + L"</person>",
         L"",
         "User  " + alice +
             "  import finished with error:  The value \"4294967296\" of orvexKVUserAccessLevel "
             "is out of range for an unsigned 32-bit number.\n",
         failedAlice + L"The value \"4294967296\" of orvexKVUserAccessLevel is out of range for "
                       L"an unsigned 32-bit number."},
        {"a flag that is no number",
         L"<person orvexKVUserfPrintSecretPriv=\"yes\">" + kAlice + L"</person>", L"",
         "User  " + alice +
             "  import finished with error:  The value \"yes\" of orvexKVUserfPrintSecretPriv is "
             "not a decimal number.\n",
         failedAlice + L"The value \"yes\" of orvexKVUserfPrintSecretPriv is not a decimal "
                       L"number."},
        {"authentication data of 39 bytes", L"",
         L"<orvexKVUEI orvexKVUEIAuthInfo=\"" + EncodeClientBase64(Bytes(39)) +
             L"\" orvexKVUEIFlags=\"8\" orvexKVUEIUserSID=\"" + kAlice +
             L"\">token-alice-1</orvexKVUEI>",
         "User token  token-alice-1  import finished with error:  The data is invalid.\n",
         failedToken + L"The data is invalid. [13]"},
        {"a user SID that is no SID", L"",
         L"<orvexKVUEI orvexKVUEIUserSID=\"NULL SID\">token-alice-1</orvexKVUEI>",
         "User token  token-alice-1  import finished with error:  The data is invalid.\n",
         failedToken + L"The data is invalid. [13]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        target = std::make_shared<KvTest::FakeSession>();
        AnswerServer(*target, kRoot);
        context.storage.ldsSession = target;
        importer = std::make_shared<ClientImporter>();
        // The bad record comes first; the good one after it must not inherit anything of it.
        const std::string console = Import(Section(
            L"", c.users + L"<person>" + kBob + L"</person>",
            c.elids + L"<orvexKVUEI orvexKVUEIUserSID=\"" + kBob + L"\">token-bob-1</orvexKVUEI>"));
        EXPECT_NE(console.find(c.line), std::string::npos) << console;
        EXPECT_EQ(target->Writes(),
                  (std::vector<std::wstring>{
                      L"add " + UserDn(kBob) + L" cn description objectClass orvexKVObjectSid",
                      L"add CN=token-bob-1," + kElids +
                          L" cn description objectClass orvexKVUEIUserSID"}));
        // Nothing was searched for the bad record: it failed before the directory was asked.
        EXPECT_EQ(target->Requests().size(), 3u);
        EXPECT_EQ(importer->Counters().users + importer->Counters().tokens, 2u);
        EXPECT_EQ(sink.records.empty(), false);
        sink.records.clear();
        // The failed record in its place, then the next ones; a conversion failure carries the
        // code of the error object it is reported as.
        ASSERT_EQ(events->lines.size(), 3u);
        const size_t failed = c.users.empty() ? 1 : 0;
        EXPECT_EQ(events->lines[failed].rfind(c.event, 0), 0u)
            << Platform::WideToUtf8(events->lines[failed]);
        EXPECT_EQ(events->lines[1 - failed], Created(L"person", kBob));
        EXPECT_EQ(events->lines[2], Created(L"orvexKVUEI", L"token-bob-1"));
        events->lines.clear();
    }
}

TEST_F(ClientImporterTest, AccessDeniedStopsTheSectionAndEndsTheRun) {
    target->FailOn(L"add", L"CN=GQuillData," + kConfig, 50);
    uint32_t leftWith = 0;
    const std::string console = Import(Section(L"<orvexKVGQuillData>GQuillData</orvexKVGQuillData>",
                                               L"<person>" + kAlice + L"</person>", L""),
                                       &leftWith);
    EXPECT_EQ(console,
              kStarted + "Global Quill Data import finished with error:  Access is denied.\n");
    EXPECT_EQ(leftWith, 5u);
    EXPECT_TRUE(target->Writes().empty());
    EXPECT_EQ(events->lines,
              std::vector<std::wstring>{
                  L"failed orvexKVGQuillData GQuillData (GQuillData): Access is denied. [5]"});
    // The refused add is not sent again, and nothing after it is searched.
    EXPECT_EQ(target->Requests().size(), 2u);
}

// A target that went away fails every further record the same way: the section stops at the first
// one and the run ends saying what was imported before.
TEST_F(ClientImporterTest, ALostTargetStopsTheSectionAndEndsTheRun) {
    struct Case {
        const char* fault;
        uint32_t ldapCode;
        uint32_t code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"server down", 0x51, 58, "The specified server cannot perform the requested operation."},
        {"connect error", 0x5b, 1225, "The remote computer refused the network connection."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        target = std::make_shared<KvTest::FakeSession>();
        importer = std::make_shared<ClientImporter>();
        context.storage = {nullptr, true, target, nullptr};
        AnswerServer(*target, kRoot);
        target->FailOn(L"add", UserDn(kAlice), c.ldapCode);
        uint32_t leftWith = 0;
        std::string error;
        testing::internal::CaptureStdout();
        try {
            SaxReader reader(
                XmlSource{Section(L"<orvexKVGQuillData>GQuillData</orvexKVGQuillData>",
                                  L"<person>" + kAlice + L"</person><person>" + kBob + L"</person>",
                                  L"")},
                context);
            reader.RegisterImporter(L"Korvant/Data/Client", importer);
            reader.Resume();
        } catch (const KvBase::CKvError& e) {
            leftWith = e.Code();
            error = Platform::WideToUtf8(e.Description());
        }
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(console, kStarted +
                               "Imported  1  Global Quill Data (orvexKVGQuillData) objects.\n"
                               "User  " +
                               Platform::WideToUtf8(kAlice) +
                               "  import finished with error:  " + c.text + "\n");
        EXPECT_EQ(leftWith, c.code);
        // The record the target failed is the last one the journal learns of.
        EXPECT_EQ(events->lines,
                  (std::vector<std::wstring>{Created(L"orvexKVGQuillData", L"GQuillData"),
                                             L"failed person " + kAlice + L" (" + kAlice + L"): " +
                                                 Platform::Utf8ToWide(c.text) + L" [" +
                                                 std::to_wstring(c.code) + L"]"}));
        events->lines.clear();
        EXPECT_EQ(error, c.text +
                             " The connection to the target was lost during the client objects "
                             "import: 1 Global Quill Data, 0 users and 0 user tokens were "
                             "imported; the rest of the Client section and the sections after it "
                             "were not. Run the import again once the target answers.");
        // Nothing is tried for bob.
        for (const KvTest::FakeRequest& request : target->Requests()) {
            EXPECT_EQ(Platform::WideToUtf8(request.filter).find(Platform::WideToUtf8(kBob)),
                      std::string::npos);
        }
    }
}

TEST_F(ClientImporterTest, AnInvalidContextLeavesTheSectionUnread) {
    context.serverSid.clear();
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(Import(Section(L"", L"<person>" + kAlice + L"</person>", L"")),
              "Input import context is invalid. Client data import impossible. See logs for "
              "details.\n");
    const std::wstring trace = KvTest::TraceLogSince(traceStart);
    EXPECT_NE(trace.find(L"Description: OMS Server SID is empty."), std::wstring::npos);
    EXPECT_NE(trace.find(L"ClientImporter::StartNode(): no Users and Elids import, exit--"),
              std::wstring::npos);
    EXPECT_NE(trace.find(L"ClientImporter::EndImport(): no Users and Elids import, exit--"),
              std::wstring::npos);
    EXPECT_TRUE(target->Requests().empty());
    ASSERT_EQ(events->lines.size(), 1u);
    EXPECT_EQ(events->lines[0].rfind(L"failed Client Client (Client): OMS Server SID is empty.", 0),
              0u);

    context.serverSid = kOms;
    context.storage.ldsSession = nullptr;
    importer = std::make_shared<ClientImporter>();
    EXPECT_EQ(Import(Section(L"", L"", L"")),
              "Input import context is invalid. Client data import impossible. See logs for "
              "details.\n");
}

TEST_F(ClientImporterTest, WithoutABaseEveryElementFails) {
    target = std::make_shared<KvTest::FakeSession>();
    context.storage.ldsSession = target;
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(Import(Section(L"", L"<person>" + kAlice + L"</person>", L"")),
              "Client objects import started for LDS server:  \n"
              "Client objects import error:  The format of the specified computer name is "
              "invalid.\n");
    const std::wstring trace = KvTest::TraceLogSince(traceStart);
    EXPECT_NE(trace.find(L"Client importer fatal error - check logs for details."),
              std::wstring::npos);
    EXPECT_TRUE(target->Writes().empty());
    EXPECT_EQ(target->Requests().size(), 1u);
    EXPECT_EQ(events->lines,
              std::vector<std::wstring>{L"failed Client Client (Client): The format of the "
                                        L"specified computer name is invalid. [1210]"});
}

TEST_F(ClientImporterTest, OnlyTheThreeRecordElementsHaveImporters) {
    const size_t traceStart = KvTest::TraceLogSize();
    EXPECT_EQ(importer->CreateNodeImporter(L"Users"), nullptr);
    EXPECT_EQ(importer->CreateNodeImporter(L"Client"), nullptr);
    EXPECT_EQ(importer->CreateNodeImporter(L"Person"), nullptr);
    EXPECT_NE(importer->CreateNodeImporter(L"person"), nullptr);
    const std::wstring trace = KvTest::TraceLogSince(traceStart);
    EXPECT_NE(trace.find(L"ClientImporter::CreateNodeImporter(Users):container node, return NULL"),
              std::wstring::npos);
    EXPECT_NE(trace.find(L"ClientImporter::CreateNodeImporter:could not create importer for "
                         L"Client"),
              std::wstring::npos);
    EXPECT_NE(trace.find(L"class CUsersNodeImporter::CNodeImporter::Release()"),
              std::wstring::npos);
}

}  // namespace
}  // namespace KvMigration
