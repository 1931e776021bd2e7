// The ICheck section read into a fake target: the erase with its restore file, the four body
// rewrites, the object names, the time stamp, and the failures that are contained per element or
// end the section.

#include "sections/icheck/ICheckImporter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ICheckSectionTest.h"
#include "base/KvError.h"
#include "helper/Identifiers.h"
#include "icheck/B64Str.h"
#include "platform/CodePage.h"
#include "support/ICheckBodies.h"
#include "support/ICheckFiles.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

using KvTest::Bytes;
using KvTest::Filler;
using KvTest::Utf16;
using LdapHelper::attr_value;

const std::wstring kX86 =
    L"CN=Integrity Check Objects,CN=Korvant 5.0 Configuration," + kSecurityDomain;
const std::wstring kX64 =
    L"CN=Integrity Check Objects x64,CN=Korvant 5.0 Configuration," + kSecurityDomain;
const std::wstring kOldWs01 = L"S-1-5-21-1004336348-1177238915-682003330-1106";
const std::wstring kNewWs01 = L"S-1-5-21-2750934112-1638409244-3154960715-1201";
const std::wstring kOldWs04 = L"S-1-5-21-1004336348-1177238915-682003330-1109";
constexpr uint64_t kNow = 133600000000000000ULL;

class FakeMapper : public IObjectMapper {
public:
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> table;  // old -> (name, sid)
    std::wstring MapServiceSid(const std::wstring& oldId) override {
        auto found = table.find(oldId);
        return found == table.end() ? oldId : found->second.second;
    }
    std::wstring GetNewName(const std::wstring& oldId) const override {
        auto found = table.find(oldId);
        return found == table.end() ? L"" : found->second.first;
    }
    std::wstring GetServerSid() const override { return L""; }
    std::wstring GetSecurityDomainId() const override { return L""; }
};

Bytes SidBytes(const std::wstring& text) {
    return StringToSid(text);
}

Bytes ClientEntry(const std::wstring& sid, const std::wstring& name) {
    KvTest::GroupEntry entry;
    entry.kind = 1;
    entry.sidField = SidBytes(sid);
    entry.blockA = Filler(6, 1);
    entry.name = Utf16(name);
    entry.blockB = Utf16(L"Room 12");
    return KvTest::MakeGroupEntry(entry);
}

Bytes DefaultGroup(const std::wstring& name, const Bytes& clients) {
    KvTest::GroupEntry entry;
    entry.blockA = Filler(4, 2);
    entry.name = Utf16(name);
    entry.blockB = Utf16(L"All computers");
    entry.clients = clients;
    return KvTest::MakeGroupEntry(entry);
}

const Bytes kTargetClients = KvTest::ClientsList(3, 0x41);
const Bytes kFileClients = KvTest::ClientsList(1, 0x61);

std::wstring Element(const std::wstring& type, const std::wstring& id, const Bytes& body) {
    return L"<IcheckObject orvexKVICheckObjID=\"" + id + L"\" orvexKVICheckObjType=\"" + type +
           L"\" orvexKVICheckObjData=\"" + CB64Str(body).Text() + L"\"/>";
}

std::wstring ObjectDn(const std::wstring& rdn, const std::wstring& container = kX86) {
    return L"CN=" + rdn + L"," + container;
}

// The journal's line of a model object, without a reason.
std::wstring Event(const std::wstring& action, const std::wstring& id, const std::wstring& rdn,
                   const std::wstring& platform = L"x86") {
    return action + L" IcheckObject " + id + L" (" + rdn + L" (" + platform + L"))";
}

struct Result {
    std::string console;
    std::string warnings;
    std::wstring failure;  // the description raised by EndImport
    uint32_t state = 0;
};

class ICheckImporterTest : public ICheckSectionTest {
protected:
    ICheckImporterTest() : installation("\"en-us\"") {
        session->contextDn = kSecurityDomain;
        installation.WriteModel("en-us", "KvICInstallLDS.xml",
                                "<M><Tasks><Task name=\"Korvant Suite resources control\">"
                                "<Sequence>steps of x86</Sequence></Task></Tasks></M>");
    }

    // An object of the target's previous model: in the directory, and in the answers to both of
    // the erase's searches.
    void Previous(const std::wstring& container, const std::wstring& rdn, int type, int id,
                  const Bytes& body) {
        const std::wstring dn = ObjectDn(rdn, container);
        const std::wstring objectClass =
            container == kX86 ? L"orvexKVICheckObj" : L"orvexKVICheckObj64";
        std::map<std::wstring, attr_value> values = {
            {L"orvexKVICheckObjID", attr_value(std::to_wstring(id))},
            {L"orvexKVICheckObjType", attr_value(std::to_wstring(type))},
            {L"orvexKVICheckObjData", attr_value(body)}};
        session->Put(dn, values);
        values[L"distinguishedName"] = attr_value(dn);
        modelAnswers_[container].push_back(KvTest::Entry(dn, values));
        values.erase(L"distinguishedName");
        values[L"objectClass"] = attr_value(LdapHelper::attr_list{L"top", objectClass});
        restoreAnswers_[container].push_back(KvTest::Entry(dn, values));
        session->Answer(container, L"(&(objectClass=" + objectClass + L"))",
                        modelAnswers_[container]);
        session->Answer(container, L"(objectClass=*)", restoreAnswers_[container]);
    }

    Result Import(const std::wstring& section) {
        MigrationContext context;
        context.journal->AddSink(events);
        context.storage.isLds = true;
        context.storage.ldsSession = session;
        importer = std::make_shared<ICheckImporter>(
            mapper, [] { return kNow; }, restoreDir.Path());
        Result result;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        try {
            SaxReader reader(XmlSource{L"<ICheck>" + section + L"</ICheck>"}, context);
            reader.RegisterImporter(L"ICheck", importer);
            reader.Resume();
        } catch (const KvBase::CKvError& e) {
            result.failure = e.Description();
        }
        result.console = testing::internal::GetCapturedStdout();
        result.warnings = testing::internal::GetCapturedStderr();
        result.state = importer->State();
        return result;
    }

    Bytes Body(const std::wstring& dn) const {
        return session->Value(dn, L"orvexKVICheckObjData").data();
    }
    std::vector<std::wstring> Adds() const {
        std::vector<std::wstring> adds;
        for (const std::wstring& write : session->Writes()) {
            if (write.rfind(L"add ", 0) == 0) {
                adds.push_back(write.substr(4, write.find(L" objectClass ") - 4));
            }
        }
        return adds;
    }
    std::vector<std::string> RestoreFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(restoreDir.Path())) {
            files.push_back(entry.path().string());
        }
        return files;
    }

    KvTest::ProductInstallation installation;
    KvTest::ScopedTempDir restoreDir;
    std::shared_ptr<ICheckFakeSession> session = std::make_shared<ICheckFakeSession>();
    std::shared_ptr<FakeMapper> mapper = std::make_shared<FakeMapper>();
    std::shared_ptr<ICheckImporter> importer;
    std::shared_ptr<JournalLines> events = std::make_shared<JournalLines>();

private:
    std::map<std::wstring, LdapHelper::object_list> modelAnswers_;
    std::map<std::wstring, LdapHelper::object_list> restoreAnswers_;
};

TEST_F(ICheckImporterTest, ReplacesTheModelAdaptingTheFourKindsOfBody) {
    Previous(kX86, L"Type 0x00000006 ID 0x1", 6, 1,
             DefaultGroup(L"KORVANTICHECKDEFAULT", kTargetClients));
    Previous(kX86, L"Type 0x00000002 ID 0x7", 2, 7, Filler(20, 3));
    mapper->table[kOldWs01] = {L"ws01.corp.local", kNewWs01};
    mapper->table[kOldWs04] = {L"ws04.corp.local", L""};  // no computer in the target domain

    const Bytes group = DefaultGroup(L"KorvantICheckDefault", kFileClients);
    const Bytes ws01 = ClientEntry(kOldWs01, L"WS01");
    const Bytes ws04 = ClientEntry(kOldWs04, L"WS04");
    const Bytes job =
        KvTest::MakeJob({Filler(2, 4), Filler(3, 5),
                         Utf16(L"Задание для контроля ресурсов KORVANT"), Filler(6, 6), Bytes()});
    const Bytes scenario = KvTest::MakeScenario(
        {Filler(5, 7), Utf16(L"Контроль ресурсов Korvant"), Filler(3, 8), Utf16(L"old")});
    const Bytes other = Filler(58, 9);
    Result result = Import(L"<orvexKVICheckObj>" + Element(L"6", L"1", group) +
                           Element(L"6", L"17", ws01) + Element(L"6", L"18", ws04) +
                           Element(L"1", L"4", job) + Element(L"3", L"5", scenario) +
                           Element(L"4", L"300", other) + L"</orvexKVICheckObj>");
    EXPECT_EQ(result.failure, L"");
    EXPECT_EQ(result.state, 0u);
    ASSERT_EQ(RestoreFiles().size(), 1u);
    const std::string restoreFile = RestoreFiles()[0];
    EXPECT_EQ(result.console,
              "Starting import Icheck model for  x86  platform\n"
              "Erasing previous model\n"
              "2  objects to delete\n"
              "The previous model was saved to " +
                  restoreFile +
                  "\n"
                  "Erasing previous model done\n"
                  "Replacing clients list in default group\n"
                  "Replacing client " +
                  Platform::WideToUtf8(kOldWs01) + " to " + Platform::WideToUtf8(kNewWs01) +
                  "\n"
                  "Replacing scenario in default KV task\n"
                  "Finishing import Icheck model for  x86  platform\n"
                  "7  objects imported\n");
    EXPECT_EQ(result.warnings, "");

    EXPECT_EQ(session->Writes()[0], L"delete " + ObjectDn(L"Type 0x00000006 ID 0x1"));
    EXPECT_EQ(session->Writes()[1], L"delete " + ObjectDn(L"Type 0x00000002 ID 0x7"));
    EXPECT_EQ(Adds(),
              (std::vector<std::wstring>{
                  ObjectDn(L"Type 0x00000006 ID 0x1"), ObjectDn(L"Type 0x00000006 ID 0x11"),
                  ObjectDn(L"Type 0x00000006 ID 0x12"), ObjectDn(L"Type 0x00000001 ID 0x4"),
                  ObjectDn(L"Type 0x00000003 ID 0x5"), ObjectDn(L"Type 0x00000004 ID 0x12c"),
                  ObjectDn(L"Type 0x00000009 ID 0x2")}));

    // The default group: the file's group with the target's clients.
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000006 ID 0x1")),
              DefaultGroup(L"KorvantICheckDefault", kTargetClients));
    // WS01 moved to the target domain; WS04 has no computer there and stays as it was.
    KvTest::GroupEntry moved;
    moved.kind = 1;
    moved.sidField = SidBytes(kNewWs01);
    moved.blockA = Filler(6, 1);
    moved.name = Utf16(L"ws01.corp.local");
    moved.blockB = Utf16(L"Room 12");
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000006 ID 0x11")), KvTest::MakeGroupEntry(moved));
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000006 ID 0x12")), ws04);
    EXPECT_EQ(
        Body(ObjectDn(L"Type 0x00000001 ID 0x4")),
        KvTest::MakeJob({Filler(2, 4), Filler(3, 5), Utf16(L"Korvant Suite resources control job"),
                         Filler(6, 6), Bytes()}));
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000003 ID 0x5")),
              KvTest::MakeScenario({Filler(5, 7), Utf16(L"Korvant Suite resources control"),
                                    Filler(3, 8), Utf16(L"steps of x86")}));
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000004 ID 0x12c")), other);
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{Event(L"deleted", L"1", L"Type 0x00000006 ID 0x1"),
                                         Event(L"deleted", L"7", L"Type 0x00000002 ID 0x7"),
                                         Event(L"created", L"1", L"Type 0x00000006 ID 0x1"),
                                         Event(L"created", L"17", L"Type 0x00000006 ID 0x11"),
                                         Event(L"created", L"18", L"Type 0x00000006 ID 0x12"),
                                         Event(L"created", L"4", L"Type 0x00000001 ID 0x4"),
                                         Event(L"created", L"5", L"Type 0x00000003 ID 0x5"),
                                         Event(L"created", L"300", L"Type 0x00000004 ID 0x12c"),
                                         Event(L"created", L"2", L"Type 0x00000009 ID 0x2")}));
    // The identifier and type as the file wrote them; the time stamp from the clock.
    EXPECT_EQ(
        session->Value(ObjectDn(L"Type 0x00000004 ID 0x12c"), L"orvexKVICheckObjID").to_string(),
        L"300");
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000009 ID 0x2")),
              (Bytes{0x00, 0x00, 0xFE, 0xFD, 0x7D, 0xA4, 0xDA, 0x01}));
    EXPECT_EQ(
        session->Value(ObjectDn(L"Type 0x00000009 ID 0x2"), L"orvexKVICheckObjType").to_string(),
        L"9");

    // The restore file brings back what was erased.
    const std::string ldif = KvTest::ReadFile(restoreFile);
    EXPECT_NE(ldif.find("\ndn: " + Platform::WideToUtf8(ObjectDn(L"Type 0x00000006 ID 0x1")) +
                        "\nobjectClass: top\nobjectClass: orvexKVICheckObj\n"
                        "orvexKVICheckObjID: 1\norvexKVICheckObjType: 6\norvexKVICheckObjData:: "),
              std::string::npos)
        << ldif;
    EXPECT_NE(ldif.find("\ndn: " + Platform::WideToUtf8(ObjectDn(L"Type 0x00000002 ID 0x7"))),
              std::string::npos);
}

TEST_F(ICheckImporterTest, APlatformWithoutObjectsStillGetsItsTimeStamp) {
    Result result = Import(L"<orvexKVICheckObj64/>");
    EXPECT_EQ(result.console,
              "Starting import Icheck model for  x64  platform\n"
              "Erasing previous model\n"
              "0  objects to delete\n"
              "Erasing previous model done\n"
              "Finishing import Icheck model for  x64  platform\n"
              "1  objects imported\n");
    EXPECT_EQ(Adds(), (std::vector<std::wstring>{ObjectDn(L"Type 0x00000009 ID 0x2", kX64)}));
    EXPECT_TRUE(RestoreFiles().empty());
    EXPECT_EQ(events->lines, std::vector<std::wstring>{
                                 Event(L"created", L"2", L"Type 0x00000009 ID 0x2", L"x64")});
}

TEST_F(ICheckImporterTest, WithoutADefaultGroupInTheTargetTheNewOneHasNoClients) {
    Result result =
        Import(L"<orvexKVICheckObj64>" +
               Element(L"6", L"1", DefaultGroup(L"KorvantICheckDefault64", kFileClients)) +
               L"</orvexKVICheckObj64>");
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000006 ID 0x1", kX64)),
              DefaultGroup(L"KorvantICheckDefault64", Bytes(4, 0)));
}

TEST_F(ICheckImporterTest, ElementsThatAreNoObjectsOfAnOpenPlatformAreLeftAlone) {
    struct Case {
        const char* title;
        std::wstring section;
        std::wstring traced;
        std::vector<std::wstring> events;
    };
    const std::wstring object = Element(L"2", L"3", {1});
    const std::wstring stamp = Event(L"created", L"2", L"Type 0x00000009 ID 0x2");
    const std::vector<Case> cases = {
        {"an object outside any platform",
         object,
         L"StartNode, wrong platform state: Undefined",
         {L"skipped IcheckObject 3 (Type 0x00000002 ID 0x3): outside any platform element"}},
        {"another element",
         L"<orvexKVICheckObj><IcheckObjects/></orvexKVICheckObj>",
         L"StartNode, wrong node name",
         {stamp}},
        {"an object without its body",
         L"<orvexKVICheckObj><IcheckObject orvexKVICheckObjID=\"1\" orvexKVICheckObjType=\"2\"/>"
         L"</orvexKVICheckObj>",
         L"StartNode, attribute not found",
         {Event(L"skipped", L"1", L"Type 0x00000002 ID 0x1") +
              L": lacks its identifier, type or body",
          stamp}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        session = std::make_shared<ICheckFakeSession>();
        session->contextDn = kSecurityDomain;
        events->lines.clear();
        Import(c.section);
        EXPECT_TRUE(Traced(c.traced));
        EXPECT_EQ(events->lines, c.events);
        for (const std::wstring& dn : Adds()) {
            EXPECT_EQ(dn, ObjectDn(L"Type 0x00000009 ID 0x2"));
        }
    }
}

TEST_F(ICheckImporterTest, ADamagedBodyIsReportedAndOnlyItsObjectSkipped) {
    Bytes damaged = ClientEntry(kOldWs01, L"WS01");
    KvTest::PutLe32(damaged, 92, 0xFFFFFFF0);  // N far beyond the body
    Result result = Import(L"<orvexKVICheckObj>" + Element(L"6", L"17", damaged) +
                           Element(L"2", L"3", {1}) + L"</orvexKVICheckObj>");
    EXPECT_EQ(result.warnings,
              "Import of the object of type 6 with the identifier 17 (x86 platform) failed: The "
              "body of 132 bytes is damaged: the name (4294967280 bytes at offset 106) lies "
              "outside it.\n");
    EXPECT_EQ(Adds(), (std::vector<std::wstring>{ObjectDn(L"Type 0x00000002 ID 0x3"),
                                                 ObjectDn(L"Type 0x00000009 ID 0x2")}));
    EXPECT_EQ(result.state, 0x80004005u);
    EXPECT_EQ(result.failure, L"");
    EXPECT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{
                  Event(L"failed", L"17", L"Type 0x00000006 ID 0x11") +
                      L": The body of 132 bytes is damaged: the name (4294967280 bytes at offset "
                      L"106) lies outside it. [" +
                      std::to_wstring(0x80004005u) + L"]",
                  Event(L"created", L"3", L"Type 0x00000002 ID 0x3"),
                  Event(L"created", L"2", L"Type 0x00000009 ID 0x2")}));
}

TEST_F(ICheckImporterTest, AnAccountWithoutWriteAccessEndsTheSectionWithAccessDenied) {
    Previous(kX86, L"Type 0x00000002 ID 0x7", 2, 7, Filler(20, 3));
    session->FailOn(L"delete", ObjectDn(L"Type 0x00000002 ID 0x7"), 50);
    Result result = Import(L"<orvexKVICheckObj>" + Element(L"2", L"3", {1}) +
                           L"</orvexKVICheckObj><orvexKVICheckObj64>" + Element(L"2", L"3", {1}) +
                           L"</orvexKVICheckObj64>");
    EXPECT_EQ(result.state, 5u);
    EXPECT_EQ(result.failure, L"Access is denied.");
    EXPECT_TRUE(Traced(L"W> Access denied, return"));
    EXPECT_TRUE(session->Writes().empty());
    // The refused deletion is the one failure; nothing after it is tried.
    EXPECT_EQ(events->lines,
              std::vector<std::wstring>{Event(L"failed", L"7", L"Type 0x00000002 ID 0x7") +
                                        L": Access is denied. [5]"});
    EXPECT_TRUE(session->Has(ObjectDn(L"Type 0x00000002 ID 0x7")));
}

TEST_F(ICheckImporterTest, WithoutARestoreFileNothingIsErasedAndThePlatformNotImported) {
    Previous(kX86, L"Type 0x00000002 ID 0x7", 2, 7, Filler(20, 3));
    importer.reset();
    const std::string folder = restoreDir.Path();
    std::filesystem::remove_all(folder);
    Result result = Import(L"<orvexKVICheckObj>" + Element(L"2", L"3", {1}) +
                           L"</orvexKVICheckObj><orvexKVICheckObj64>" + Element(L"2", L"4", {1}) +
                           L"</orvexKVICheckObj64>");
    std::filesystem::create_directory(folder);
    // x86 is left as it was; x64, with nothing to save, is imported.
    EXPECT_TRUE(session->Has(ObjectDn(L"Type 0x00000002 ID 0x7")));
    EXPECT_EQ(Adds(), (std::vector<std::wstring>{ObjectDn(L"Type 0x00000002 ID 0x4", kX64),
                                                 ObjectDn(L"Type 0x00000009 ID 0x2", kX64)}));
    EXPECT_NE(result.warnings.find("Nothing of the target's model of the x86 platform was "
                                   "erased; the file's objects of that platform are not "
                                   "imported.\n"),
              std::string::npos)
        << result.warnings;
    EXPECT_EQ(result.failure.rfind(L"The integrity-check model of the x86 platform was not "
                                   L"imported (The restore file \"",
                                   0),
              0u)
        << Platform::WideToUtf8(result.failure);
    EXPECT_NE(result.failure.find(L"); the target keeps its previous model."), std::wstring::npos);
    ASSERT_EQ(events->lines.size(), 4u);
    EXPECT_EQ(events->lines[0].rfind(L"failed orvexKVICheckObj x86 (x86): The restore file \"", 0),
              0u)
        << Platform::WideToUtf8(events->lines[0]);
    EXPECT_EQ(events->lines[1], Event(L"skipped", L"3", L"Type 0x00000002 ID 0x3") +
                                    L": the target's model of the x86 platform could not be "
                                    L"erased and is kept");
    EXPECT_EQ(events->lines[2], Event(L"created", L"4", L"Type 0x00000002 ID 0x4", L"x64"));
    EXPECT_EQ(events->lines[3], Event(L"created", L"2", L"Type 0x00000009 ID 0x2", L"x64"));
}

TEST_F(ICheckImporterTest, TheRussianProductGetsRussianNamesAndItsOwnScenario) {
    installation.SetLocale("\"ru-ru\"");
    installation.WriteModel("ru-ru", "KvICInstallLDS64.xml",
                            "<M><Tasks><Task name=\"Контроль ресурсов Korvant Suite\">"
                            "<Sequence>шаги x64</Sequence></Task></Tasks></M>");
    const Bytes job = KvTest::MakeJob(
        {Bytes(), Bytes(), Utf16(L"Задание для контроля ресурсов Korvant"), Bytes(), Bytes()});
    const Bytes scenario = KvTest::MakeScenario(
        {Bytes(), Utf16(L"контроль ресурсов korvant"), Bytes(), Utf16(L"old")});
    Import(L"<orvexKVICheckObj64>" + Element(L"1", L"4", job) + Element(L"3", L"5", scenario) +
           L"</orvexKVICheckObj64>");
    EXPECT_EQ(
        Body(ObjectDn(L"Type 0x00000001 ID 0x4", kX64)),
        KvTest::MakeJob({Bytes(), Bytes(), Utf16(L"Задание для контроля ресурсов Korvant Suite"),
                         Bytes(), Bytes()}));
    EXPECT_EQ(Body(ObjectDn(L"Type 0x00000003 ID 0x5", kX64)),
              KvTest::MakeScenario({Bytes(), Utf16(L"Контроль ресурсов Korvant Suite"), Bytes(),
                                    Utf16(L"шаги x64")}));
}

TEST_F(ICheckImporterTest, ALocaleOfOtherThanFiveCharactersLeavesTheJobAndScenarioOut) {
    installation.SetLocale("\"ru-rus\"");
    const Bytes job = KvTest::MakeJob(
        {Bytes(), Bytes(), Utf16(L"Задание для контроля ресурсов Korvant"), Bytes(), Bytes()});
    const Bytes scenario = KvTest::MakeScenario(
        {Bytes(), Utf16(L"Контроль ресурсов Korvant"), Bytes(), Utf16(L"old")});
    Result result =
        Import(L"<orvexKVICheckObj>" + Element(L"1", L"4", job) + Element(L"3", L"5", scenario) +
               Element(L"2", L"6", {1}) + L"</orvexKVICheckObj>");
    EXPECT_EQ(Adds(), (std::vector<std::wstring>{ObjectDn(L"Type 0x00000002 ID 0x6"),
                                                 ObjectDn(L"Type 0x00000009 ID 0x2")}));
    EXPECT_EQ(result.state, 13u);
    ASSERT_EQ(events->lines.size(), 4u);
    EXPECT_EQ(events->lines[0].rfind(Event(L"failed", L"4", L"Type 0x00000001 ID 0x4") + L": ", 0),
              0u)
        << Platform::WideToUtf8(events->lines[0]);
    EXPECT_NE(events->lines[0].find(L" [13]"), std::wstring::npos);
    EXPECT_EQ(events->lines[1].rfind(Event(L"failed", L"5", L"Type 0x00000003 ID 0x5") + L": ", 0),
              0u);
    EXPECT_EQ(events->lines[2], Event(L"created", L"6", L"Type 0x00000002 ID 0x6"));
    EXPECT_EQ(events->lines[3], Event(L"created", L"2", L"Type 0x00000009 ID 0x2"));
}

}  // namespace
}  // namespace KvMigration
