#include "sections/oms/GroupPolicyLinks.h"
#include "sections/oms/ObjectElement.h"
#include "sections/oms/OmsExporter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "storage/JournalEvents.h"
#include "storage/StorageFixture.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using namespace KvStorageTest;

TEST(GroupPolicyLinks, OnlyEnabledLinksAreFollowed) {
    struct Case {
        const char* title;
        std::wstring gpLink;
        std::vector<std::wstring> links;
    };
    const std::vector<Case> cases = {
        {"options 0 to 3",
         L"[LDAP://cn={A},cn=policies;0][LDAP://cn={B},cn=policies;1]"
         L"[LDAP://cn={C},cn=policies;2][LDAP://cn={D},cn=policies;3]",
         {L"cn={A},cn=policies", L"cn={C},cn=policies"}},
        {"empty", L"", {}},
        {"a link without options ends the list", L"[LDAP://cn={A};0][LDAP://cn={B}]", {L"cn={A}"}},
        {"options that are no number count as 0", L"[LDAP://cn={A};x]", {L"cn={A}"}},
        {"text between links", L" [LDAP://a;0] junk [LDAP://b;0]", {L"a", L"b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(EnabledGroupPolicyLinks(c.gpLink), c.links);
    }
}

TEST(GroupPolicyLinks, TemplatesOfASharePathLieUnderTheMountedShare) {
    EXPECT_EQ(
        GroupPolicyTemplatePath(L"\\\\corp.local\\sysvol\\corp.local\\Policies\\{G}", L"/mnt"),
        L"/mnt/corp.local/sysvol/corp.local/Policies/{G}/MACHINE/Microsoft/Windows "
        L"NT/SecEdit/GptKorvant.inf");
    EXPECT_EQ(GroupPolicyTemplatePath(L"D:\\Policies\\{G}", L"/mnt"), L"");
}

TEST(ServerConfigPath, ComesFromTheInstallFolderOfTheRegistry) {
    KvTest::ScopedTempDir dir;
    struct Case {
        const char* title;
        std::string value;  // the registry line, or "" for no value
        bool key;
        std::wstring path;   // expected, or empty when an error is expected
        std::wstring error;  // expected description
    };
    const std::vector<Case> cases = {
        {"a folder with its separator", "\"TavisServerInstallDir\"=\"/opt/kv/\"", true,
         L"/opt/kv/ServerConfig.xml", L""},
        {"a folder without it", "\"TavisServerInstallDir\"=\"/opt/kv\"", true,
         L"/opt/kv/ServerConfig.xml", L""},
        {"a share", "\"TavisServerInstallDir\"=\"\\\\\\\\srv\\\\kv\\\\\"", true,
         L"/mnt/srv/kv/ServerConfig.xml", L""},
        {"no value", "", true, L"", L"The system cannot find the file specified."},
        {"no key", "", false, L"", L"The system cannot find the file specified."},
        {"a drive path", "\"TavisServerInstallDir\"=\"C:\\\\Program Files\\\\Korvant\\\\\"", true,
         L"",
         L"The server's install folder \"C:\\Program Files\\Korvant\\\" in the registry is a "
         L"Windows "
         L"path without a place on this machine; set TavisServerInstallDir to the folder that "
         L"holds ServerConfig.xml."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(
            dir.File("r.reg"),
            c.key ? "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n" + c.value + "\n"
                  : "REGEDIT4\n");
        KvTest::ScopedEnv registry("KV_REGISTRY_FILE", dir.File("r.reg"));
        if (c.error.empty()) {
            EXPECT_EQ(GetServerConfigPath(), c.path);
        } else {
            EXPECT_EQ(ErrorText([] { GetServerConfigPath(); }), c.error);
        }
    }
}

std::wstring Written(const CObjectData& record) {
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(L"Oms", L"");
        StartObjectElement(writer, record);
        writer.EndNode();
        writer.EndNode();
    }
    return text;
}

TEST(ObjectElement, AttributesAreChildrenInOrdinalOrderWithoutEmptyOnes) {
    CObjectData policy;
    policy.kind = KindPolicy;
    policy.id = L"6b7c1d2e-0000-4000-8000-000000000001";
    policy.attributes = {{L"source", CValue(L"win")},
                         {L"orvexKVPolicyVersion", CValue(L"1")},
                         {L"orvexKVPolicyType", CValue()},
                         {L"orvexKVPolicyLink", CValue(std::vector<std::wstring>{L"b", L"a"})},
                         {L"Zeta", CValue(L"upper case sorts first")},
                         {L"empty", CValue(std::vector<std::wstring>{})}};
    EXPECT_EQ(Written(policy),
              L"<Oms>\n  <Policy id=\"6b7c1d2e-0000-4000-8000-000000000001\" source=\"win\">\n"
              L"    <Zeta>upper case sorts first</Zeta>\n"
              L"    <orvexKVPolicyLink>\n      <S>b</S>\n      <S>a</S>\n    </orvexKVPolicyLink>\n"
              L"    <orvexKVPolicyVersion>1</orvexKVPolicyVersion>\n"
              L"    <source>win</source>\n  </Policy>\n</Oms>");
    CObjectData service;
    service.kind = KindService;
    service.name = L"ws1.corp.local";
    EXPECT_EQ(Written(service), L"<Oms>\n  <Service name=\"ws1.corp.local\"/>\n</Oms>");
}

// An Active Directory storage whose management server kServer has the given mail settings.
struct AdStorage {
    std::shared_ptr<FakeSession> ad = std::make_shared<FakeSession>();
    CLdapSchema schema{SchemaVersionBase, StorageKind::ActiveDirectory, SchemaUse::Source};

    explicit AdStorage(const std::wstring& mailSettings) {
        const std::wstring schemaDn =
            L"CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services,CN=Configuration,DC=korvant";
        ad->Answer(L"*", kAnyObject,
                   {Entry(L"", {{L"configurationNamingContext",
                                 attr_value(L"CN=Configuration,DC=korvant")}})});
        ad->Answer(schemaDn, kAnyObject,
                   {Entry(schemaDn, {{L"orvexKVADSchemaVersion", attr_value(7)},
                                     {L"orvexKVADSchemaVersionExtended", attr_value(16)}})});
        ad->Answer(L"", ObjectFilter(*schema.GetObjectSchema(KindServer), L"", kServer),
                   {Entry(L"CN=srv", {{L"orvexKVOMSSID", Sid(kServer)},
                                      {L"orvexKVOMSMailSettings", attr_value(mailSettings)}})});
        ad->Answer(L"", L"(|(objectSid=" + kServer + L"))",
                   {Entry(L"CN=SRV", {{L"objectSid", Sid(kServer)},
                                      {L"dNSHostName", attr_value(L"srv.corp.local")}})});
    }
    MigrationContext Context() const {
        MigrationContext context = journaled;
        context.storage = {ad, false, nullptr, nullptr};
        context.serverSid = kServer;
        return context;
    }

    MigrationContext journaled;
    std::shared_ptr<JournalEvents> events = JournalEvents::Of(journaled);
};

// A registry whose server configuration file exists, and whose share root is the scratch folder.
struct ServerConfig {
    KvTest::ScopedTempDir dir;
    std::optional<KvTest::ScopedEnv> registry;

    ServerConfig() {
        KvTest::WriteFile(dir.File("ServerConfig.xml"),
                          "<ServerConfiguration><Properties><ServerSessionSettings>"
                          "<UAFilter Mode=\"0\"/>"
                          "</ServerSessionSettings></Properties></ServerConfiguration>");
        KvTest::WriteFile(dir.File("r.reg"),
                          "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\n"
                          "\"TavisServerInstallDir\"=\"" +
                              dir.File("") + "\"\n\"UncRoot\"=\"" + dir.File("") + "\"\n");
        registry.emplace("KV_REGISTRY_FILE", dir.File("r.reg"));
    }
};

std::wstring ExportSection(const AdStorage& storage) {
    std::wstring text;
    SaxWriter writer(&text, storage.Context());
    writer.RegisterExporter(L"Oms", std::make_shared<OmsExporter>());
    writer.StartNode(L"Oms", L"");
    writer.EndNode();
    return text;
}

TEST(OmsExporter, ADamagedValueNamesItsObjectAndAttribute) {
    AdStorage storage(L"<UAMailFilter><Rule>");
    std::wstring text;
    SaxWriter writer(&text, storage.Context());
    writer.RegisterExporter(L"Oms", std::make_shared<OmsExporter>());
    const std::wstring error = ErrorText([&] { writer.StartNode(L"Oms", L""); });
    EXPECT_EQ(error.rfind(L"Object \"server\" with id=" + kServer +
                              L" name=srv.corp.local: orvexKVOMSMailSettings cannot be exported: ",
                          0),
              0u)
        << Platform::WideToUtf8(error);
    EXPECT_EQ(storage.events->lines,
              std::vector<std::wstring>{L"failed Server " + kServer + L" (srv.corp.local): " +
                                        error + L" [0x80004005]"});
}

// What the lab's golden files cannot show: a storage holding only its server, and a server that
// is not there.
TEST(OmsExporter, AServerAloneGivesEmptyListsAndNoServerEndsThePass) {
    ServerConfig config;
    struct Case {
        const char* title;
        bool serverThere;
        std::wstring expected;  // the section, or the error's text
        std::vector<std::wstring> events;
    };
    const std::vector<Case> cases = {
        {"only the server",
         true,
         L"<Oms>\n  <Server id=\"" + kServer +
             L"\" name=\"srv.corp.local\">\n"
             L"    <orvexKVOMSUAFilter>&lt;UAFilter Mode=&quot;0&quot;&gt;\n\t&lt;/UAFilter&gt;\n"
             L"</orvexKVOMSUAFilter>\n"
             L"  </Server>\n  <Services/>\n  <Containers/>\n  <Policies/>\n</Oms>",
         {L"exported Server " + kServer + L" (srv.corp.local)"}},
        {"no server", false, L"No servers found", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        AdStorage storage(L"");
        if (!c.serverThere) {
            storage.ad->Answer(
                L"", ObjectFilter(*storage.schema.GetObjectSchema(KindServer), L"", kServer), {});
        }
        std::wstring text;
        const std::wstring error = ErrorText([&] { text = ExportSection(storage); });
        EXPECT_EQ(c.serverThere ? text : error, c.expected);
        EXPECT_EQ(storage.events->lines, c.events);
    }
}

// A service, and a container linking a product policy and four group-policy objects: one that
// is gone, one without a template path, one whose template is missing, and one whose link is
// disabled.
TEST(OmsExporter, EveryObjectWrittenOrLeftOutIsRecorded) {
    ServerConfig config;
    AdStorage storage(L"");
    const std::wstring service = L"S-1-5-21-1-2-3-1104";
    storage.ad->Answer(
        L"", ObjectFilter(*storage.schema.GetObjectSchema(KindService), L"", kServer),
        {Entry(L"CN=WS1,CN=Computers,DC=corp,DC=local",
               {{L"objectSid", Sid(service)}, {L"dNSHostName", attr_value(L"ws1.corp.local")}})});
    const std::wstring ou = L"aaaaaaaa-0000-4000-8000-000000000001";
    const std::wstring linked = L"0000000a-0000-4000-8000-00000000000a";
    const std::wstring unlinked = L"0000000b-0000-4000-8000-00000000000b";
    const std::wstring gone = L"cn={GONE},cn=policies";
    const std::wstring pathless = L"cn={PATHLESS},cn=policies";
    const std::wstring templateless = L"cn={TEMPLATELESS},cn=policies";
    storage.ad->Answer(L"",
                       L"(&(|(objectClass=organizationalUnit)(objectClass=domainDNS))"
                       L"(|(orvexKVPolicyLink=*)(gPLink=*)))",
                       {Entry(L"OU=Sales,DC=corp,DC=local",
                              {{L"objectGUID", Guid(ou)},
                               {L"name", attr_value(L"Sales")},
                               {L"orvexKVPolicyLink", attr_value(LdapHelper::attr_list{linked})},
                               {L"gPLink", attr_value(L"[LDAP://" + gone + L";0][LDAP://" +
                                                      pathless + L";0][LDAP://" + templateless +
                                                      L";2][LDAP://cn={OFF},cn=policies;1]")}})});
    storage.ad->Answer(pathless, kAnyObject, {Entry(pathless, {})});
    storage.ad->Answer(
        templateless, kAnyObject,
        {Entry(templateless, {{L"gPCFileSysPath", attr_value(L"\\\\corp.local\\sysvol\\gone")}})});
    storage.ad->Answer(L"", ObjectFilter(*storage.schema.GetObjectSchema(KindPolicy), L"", kServer),
                       {Entry(L"CN=" + linked, {{L"objectGUID", Guid(linked)}}),
                        Entry(L"CN=" + unlinked, {{L"objectGUID", Guid(unlinked)}})});

    ExportSection(storage);

    const std::wstring templatePath = Platform::Utf8ToWide(config.dir.File(
        "corp.local/sysvol/gone/MACHINE/Microsoft/Windows NT/SecEdit/GptKorvant.inf"));
    EXPECT_EQ(
        storage.events->lines,
        (std::vector<std::wstring>{
            L"exported Server " + kServer + L" (srv.corp.local)",
            L"exported Service " + service + L" (ws1.corp.local)",
            L"skipped Policy " + gone + L": the linked group-policy object is not in the directory",
            L"skipped Policy " + pathless + L": the group-policy object has no gPCFileSysPath",
            L"skipped Policy " + templateless + L": the template " + templatePath +
                L" gives no policy; the trace says why",
            L"exported Container " + ou + L" (Sales)",
            L"exported Policy " + linked,
        }));
}

}  // namespace
}  // namespace KvMigration
