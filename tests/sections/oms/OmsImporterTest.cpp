#include "sections/oms/ObjectProcessors.h"
#include "sections/oms/OmsImporter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "storage/JournalEvents.h"
#include "storage/StorageFixture.h"

namespace KvMigration {
namespace {

using KvStorageTest::ErrorCode;
using KvStorageTest::ErrorText;

const std::wstring kBroken = L"The import file schema is broken.";

// One reader event: "<Name" starts an element (attributes as name=value after it), "</Name" ends
// it, anything else is text.
struct Event {
    std::wstring text;
    Attributes attributes = {};
};

// What each event raised ("" for nothing), as the reader sees it before it drops the failure.
std::vector<std::wstring> Feed(OmsImporter& importer, const std::vector<Event>& events) {
    std::vector<std::wstring> raised;
    for (const Event& event : events) {
        std::function<void()> call;
        if (event.text.rfind(L"</", 0) == 0) {
            call = [&] { importer.EndNode(event.text.substr(2)); };
        } else if (event.text.rfind(L"<", 0) == 0) {
            call = [&] { importer.StartNode(event.text.substr(1), event.attributes); };
        } else {
            call = [&] { importer.Value(event.text); };
        }
        std::wstring error;
        try {
            call();
        } catch (const KvBase::CKvError& e) {
            error = e.Code() < 0x80000000u ? L"code " + std::to_wstring(e.Code()) : e.Description();
        }
        raised.push_back(error);
    }
    return raised;
}

std::wstring Describe(const std::vector<ObjectDataPtr>& records) {
    std::wstring text;
    for (const ObjectDataPtr& record : records) {
        text += std::to_wstring(record->kind) + L" " + record->id + L" " + record->name + L":";
        for (const auto& [name, value] : record->attributes) {
            text += L" " + name + L"=";
            if (value.isMulti) {
                text += L"[";
                for (const std::wstring& item : value.texts) {
                    text += item + L";";
                }
                text += L"]";
            } else {
                text += L"'" + value.text + L"'";
            }
        }
        text += L"\n";
    }
    return text;
}

TEST(OmsImporterParser, StructureFailuresCostOnlyTheirEvent) {
    struct Case {
        const char* title;
        std::vector<Event> events;
        std::vector<std::wstring> raised;  // per event
        std::wstring records;
    };
    const std::wstring ok;
    const std::vector<Case> cases = {
        {"wrappers and unknown elements outside objects are passed over",
         {{L"<Services"},
          {L"<Service", {{L"id", L"S-1"}, {L"name", L"ws1"}}},
          {L"</Service"},
          {L"</Services"},
          {L"<Unknown"},
          {L"</Unknown"}},
         {ok, ok, ok, ok, ok, ok},
         L"2 S-1 ws1:\n"},
        {"text directly inside a server is dropped, the server still completes",
         {{L"<Server", {{L"id", L"S-1-5"}}}, {L"stray"}, {L"<a"}, {L"1"}, {L"</a"}, {L"</Server"}},
         {ok, kBroken, ok, ok, ok, ok},
         L"1 S-1-5 : a='1'\n"},
        {"a child other than S keeps the attribute's own value",
         {{L"<Service"}, {L"<a"}, {L"kept"}, {L"<X"}, {L"</X"}, {L"</a"}, {L"</Service"}},
         {ok, ok, ok, kBroken, kBroken, ok, ok},
         L"2  : a='kept'\n"},
        {"an attribute without text or items is an empty single value",
         {{L"<Container", {{L"id", L"g"}}}, {L"<a"}, {L"</a"}, {L"</Container"}},
         {ok, ok, ok, ok},
         L"3 g : a=''\n"},
        {"items make a list in file order; a later text replaces the earlier",
         {{L"<Policy"},
          {L"<l"},
          {L"<S"},
          {L"b"},
          {L"</S"},
          {L"<S"},
          {L"a"},
          {L"</S"},
          {L"</l"},
          {L"<t"},
          {L"one"},
          {L"two"},
          {L"</t"},
          {L"</Policy"}},
         {ok, ok, ok, ok, ok, ok, ok, ok, ok, ok, ok, ok, ok, ok},
         L"0  : l=[b;a;] t='two'\n"},
        {"source as attribute and as child end in the same value",
         {{L"<Policy", {{L"id", L"p"}, {L"source", L"win"}}},
          {L"<source"},
          {L"kv"},
          {L"</source"},
          {L"</Policy"}},
         {ok, ok, ok, ok, ok},
         L"0 p : source='kv'\n"},
        {"a value and a list for one attribute is refused",
         {{L"<Service"}, {L"<a"}, {L"text"}, {L"<S"}, {L"item"}, {L"</S"}, {L"</a"}},
         {ok, ok, ok, ok, ok, ok, L"code 1"},
         L""},
        {"an item inside an item, and a mismatched end",
         {{L"<Service"},
          {L"<a"},
          {L"<S"},
          {L"<S"},
          {L"</T"},
          {L"</S"},
          {L"</b"},
          {L"</a"},
          {L"</Policy"},
          {L"</Service"}},
         {ok, ok, ok, kBroken, kBroken, ok, kBroken, ok, kBroken, ok},
         L"2  : a=''\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        OmsImporter importer(nullptr, nullptr, {});
        EXPECT_EQ(Feed(importer, c.events), c.raised);
        EXPECT_EQ(Describe(importer.Records()), c.records);
    }
}

// A target storage: the objects it holds, with their marks, and the domain's containers.
class FakeTarget : public ILdapData {
public:
    SchemaVersion GetSchemaVersion() const override { return {8, 19}; }
    SchemaVersion GetServerVersion() const override { return {8, 19}; }
    std::wstring GetServerSid() const override { return L"S-NEW"; }
    std::wstring GetSecurityDomainId() const override { return L"SD"; }
    ObjectDataPtr GetSingleObject(ObjectKind kind, const std::wstring& id) override {
        auto found = objects.find({kind, id});
        return found == objects.end() ? nullptr : found->second;
    }
    ObjectDataMap GetObjects(ObjectKind) override { return {}; }
    void ImportObjects(const std::vector<ObjectDataPtr>&) override {}
    int ImportPolicies(const ObjectDataMap&, const ObjectDataMap&, bool) override { return 0; }
    bool IsDomainSubtreeContainer(const std::wstring& id) override { return domain.count(id) != 0; }

    void Hold(ObjectKind kind, const std::wstring& id, bool objectMigrated, bool policyMigrated) {
        auto record = std::make_shared<CObjectData>();
        record->kind = kind;
        record->id = id;
        record->objectMigrated = objectMigrated;
        record->policyMigrated = policyMigrated;
        objects[{kind, id}] = record;
    }

    std::map<std::pair<ObjectKind, std::wstring>, ObjectDataPtr> objects;
    std::set<std::wstring> domain;
};

class FakeMapper : public IObjectMapper {
public:
    std::wstring MapServiceSid(const std::wstring& oldId) override {
        auto found = services.find(oldId);
        return found == services.end() ? oldId : found->second;
    }
    std::wstring GetNewName(const std::wstring&) const override { return L""; }
    std::wstring GetServerSid() const override { return L"S-NEW"; }
    std::wstring GetSecurityDomainId() const override { return L"SD"; }

    std::map<std::wstring, std::wstring> services;
};

ObjectDataPtr Record(ObjectKind kind, const std::wstring& id,
                     std::map<std::wstring, CValue> attributes = {}) {
    auto record = std::make_shared<CObjectData>();
    record->kind = kind;
    record->id = id;
    record->attributes = std::move(attributes);
    return record;
}

std::wstring Ids(const ObjectDataMap& bucket) {
    std::wstring ids;
    for (const auto& [id, record] : bucket) {
        ids += (ids.empty() ? L"" : L" ") + id;
    }
    return ids;
}

// The server S-OLD with a security descriptor and a link, services S-1 (migrated), S-2 (not),
// S-3 (not in the target), S-4 (its host gone: the mapper drops it), containers in and out of
// the domain, in and out of the target, one without an identifier, and four policies.
struct Selection {
    const char* title;
    std::set<int> sections;
    bool force;
    bool privileges;
    bool serverMigrated;  // the target's server carries both marks
    // expected buckets
    std::wstring servers, services, containers, policies;
    bool descriptorKept;
    std::vector<std::string> messages;  // substrings, in order
    std::vector<std::wstring> skipped;  // the journal's events
};

const std::wstring kNoComputer = L": no computer with that name in the target domain";
const std::wstring kMigrated = L": already migrated; use -fi";
const std::wstring kUnlinked = L": no container of the import links it";

TEST(OmsObjectProcessors, SelectionsMarksAndFlagsDecideWhatIsWritten) {
    const std::vector<Selection> cases = {
        {"every section",
         {SectionPolicies, SectionServer, SectionClients},
         false,
         false,
         false,
         L"S-NEW",
         L"S-2",
         L"G-IN S-NEW",
         L"P-IN P-SERVER",
         false,
         {"Service S-3 not found in LDS", "Container G-OUT is not domain subtree container."},
         {L"skipped Service S-4" + kNoComputer,
          L"skipped Container Lost (Lost): no identifier in the file",
          L"skipped Service S-NEW-1" + kMigrated,
          L"skipped Service S-3: not found in the target storage",
          L"skipped Container G-OUT: not a domain subtree container",
          L"skipped Container G-DONE" + kMigrated, L"skipped Policy P-DONE" + kUnlinked,
          L"skipped Policy P-LOST" + kUnlinked, L"skipped Policy P-OUT" + kUnlinked}},
        {"a re-run: the server passes two processors and is skipped once per selection",
         {SectionPolicies, SectionServer},
         false,
         false,
         true,
         L"",
         L"",
         L"G-IN",
         L"P-IN",
         false,
         {"Container G-OUT is not domain subtree container."},
         {L"skipped Container Lost (Lost): no identifier in the file",
          L"skipped Server S-NEW" + kMigrated,
          L"skipped Server S-NEW: policies already migrated; use -fi",
          L"skipped Container G-OUT: not a domain subtree container",
          L"skipped Container G-DONE" + kMigrated, L"skipped Policy P-DONE" + kUnlinked,
          L"skipped Policy P-LOST" + kUnlinked, L"skipped Policy P-OUT" + kUnlinked,
          L"skipped Policy P-SERVER" + kUnlinked}},
        {"only clients: servers and policies read, not written nor recorded",
         {SectionClients},
         false,
         false,
         false,
         L"",
         L"S-2",
         L"",
         L"",
         true,
         {"Service S-3 not found in LDS"},
         {L"skipped Service S-4" + kNoComputer, L"skipped Service S-NEW-1" + kMigrated,
          L"skipped Service S-3: not found in the target storage"}},
        {"only the server: the policies it drops are not selected",
         {SectionServer},
         false,
         false,
         false,
         L"S-NEW",
         L"",
         L"S-NEW",
         L"P-SERVER",
         false,
         {},
         {}},
        {"forced, with privileges",
         {SectionPolicies, SectionServer, SectionClients},
         true,
         true,
         false,
         L"S-NEW",
         L"S-1 S-2",
         L"G-DONE G-IN S-NEW",
         L"P-DONE P-IN P-SERVER",
         true,
         {"Service S-3 not found in LDS", "Container G-OUT is not domain subtree container."},
         {L"skipped Service S-4" + kNoComputer,
          L"skipped Container Lost (Lost): no identifier in the file",
          L"skipped Service S-3: not found in the target storage",
          L"skipped Container G-OUT: not a domain subtree container",
          L"skipped Policy P-LOST" + kUnlinked, L"skipped Policy P-OUT" + kUnlinked}},
    };
    for (const Selection& c : cases) {
        SCOPED_TRACE(c.title);
        FakeTarget target;
        target.Hold(KindServer, L"S-NEW", c.serverMigrated, c.serverMigrated);
        target.Hold(KindService, L"S-NEW-1", true, true);
        target.Hold(KindService, L"S-NEW-2", false, false);
        target.Hold(KindContainer, L"G-DONE", true, true);
        target.domain = {L"G-IN", L"G-DONE"};
        FakeMapper mapper;
        mapper.services = {{L"S-1", L"S-NEW-1"}, {L"S-2", L"S-NEW-2"}, {L"S-4", L""}};

        auto links = [](std::vector<std::wstring> ids) { return CValue(std::move(ids)); };
        ObjectDataPtr lost =
            Record(KindContainer, L"", {{L"orvexKVPolicyLink", links({L"P-LOST"})}});
        lost->name = L"Lost";
        std::vector<ObjectDataPtr> records = {
            Record(KindServer, L"S-OLD",
                   {{L"orvexKVOMSSecurityDescriptor", CValue(L"sd")},
                    {L"orvexKVPolicyLink", links({L"P-SERVER"})}}),
            Record(KindService, L"S-1"),
            Record(KindService, L"S-2"),
            Record(KindService, L"S-3"),
            Record(KindService, L"S-4"),
            Record(KindContainer, L"G-IN", {{L"orvexKVPolicyLink", links({L"P-IN"})}}),
            Record(KindContainer, L"G-OUT", {{L"orvexKVPolicyLink", links({L"P-OUT"})}}),
            Record(KindContainer, L"G-DONE", {{L"orvexKVPolicyLink", links({L"P-DONE"})}}),
            lost,
            Record(KindPolicy, L"P-SERVER"),
            Record(KindPolicy, L"P-LOST"),
            Record(KindPolicy, L"P-IN"),
            Record(KindPolicy, L"P-OUT"),
            Record(KindPolicy, L"P-DONE"),
        };
        const ObjectDataPtr server = records.front();
        MigrationContext context;
        context.forceImport = c.force;
        context.importPrivileges = c.privileges;
        std::shared_ptr<KvStorageTest::JournalEvents> events =
            KvStorageTest::JournalEvents::Of(context);

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        ImportBuckets buckets = LdapReader::Read(context, target, mapper, records, c.sections);
        const std::string console =
            testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();

        // Service identifiers are translated before the buckets are filled.
        std::wstring services = Ids(buckets.services);
        for (auto [from, to] : std::vector<std::pair<std::wstring, std::wstring>>{
                 {L"S-NEW-1", L"S-1"}, {L"S-NEW-2", L"S-2"}}) {
            for (size_t at = services.find(from); at != std::wstring::npos;
                 at = services.find(from)) {
                services.replace(at, from.size(), to);
            }
        }
        EXPECT_EQ(Ids(buckets.servers), c.servers);
        EXPECT_EQ(services, c.services);
        EXPECT_EQ(Ids(buckets.containers), c.containers);
        EXPECT_EQ(Ids(buckets.policies), c.policies);
        EXPECT_EQ(server->attributes.count(L"orvexKVOMSSecurityDescriptor") != 0, c.descriptorKept);
        size_t at = 0;
        for (const std::string& message : c.messages) {
            at = console.find(message, at);
            EXPECT_NE(at, std::string::npos) << message << " in\n" << console;
        }
        EXPECT_EQ(console.find("S-4"), std::string::npos) << "the mapper already warned";
        EXPECT_EQ(events->lines, c.skipped);
    }
}

TEST(OmsObjectProcessors, AServerTheTargetDoesNotHoldEndsTheImport) {
    FakeTarget target;
    FakeMapper mapper;
    MigrationContext context;
    std::shared_ptr<KvStorageTest::JournalEvents> events =
        KvStorageTest::JournalEvents::Of(context);
    EXPECT_EQ(ErrorText([&] {
                  LdapReader::Read(context, target, mapper, {Record(KindServer, L"S-OLD")},
                                   {SectionServer});
              }),
              L"Not found self server (S-NEW)");
    EXPECT_EQ(events->lines,
              std::vector<std::wstring>{
                  L"failed Server S-NEW: Not found self server (S-NEW) [0x80004005]"});
}

}  // namespace
}  // namespace KvMigration
