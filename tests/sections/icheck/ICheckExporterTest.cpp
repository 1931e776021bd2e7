// The ICheck section written from a fake storage: the export rule, the directory's order, the
// Base64 line breaks, the console lines, and a platform that cannot be read.

#include "sections/icheck/ICheckExporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ICheckSectionTest.h"
#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/ICheckBodies.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using LdapHelper::attr_value;

const std::wstring kX86 = L"CN=Integrity Check Objects,CN=Korvant 5.0 Configuration,DC=korvant";
const std::wstring kX64 = L"CN=Integrity Check Objects x64,CN=Korvant 5.0 Configuration,DC=korvant";

LdapHelper::object_ptr Object(const std::wstring& id, const std::wstring& type,
                              std::vector<uint8_t> body) {
    std::map<std::wstring, attr_value> values;
    if (!id.empty()) {
        values[L"orvexKVICheckObjID"] = attr_value(id);
    }
    if (!type.empty()) {
        values[L"orvexKVICheckObjType"] = attr_value(type);
    }
    values[L"orvexKVICheckObjData"] = attr_value(body);
    return KvTest::Entry(L"CN=Type " + type + L" ID " + id + L"," + kX86, values);
}

struct Result {
    std::string xml;
    std::string console;
    std::string warnings;
    std::wstring missing;
};

class ICheckExporterTest : public ICheckSectionTest {
protected:
    Result Export(bool lds = true) {
        MigrationContext context;
        context.journal->AddSink(events);
        context.storage.isLds = lds;
        (lds ? context.storage.ldsSession : context.storage.adSession) = session;
        auto exporter = std::make_shared<ICheckExporter>();
        std::wstring text;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        {
            SaxWriter writer(&text, context);
            writer.RegisterExporter(L"ICheck", exporter);
            writer.StartNode(L"ICheck", L"");
            writer.EndNode();
        }
        Result result;
        result.console = testing::internal::GetCapturedStdout();
        result.warnings = testing::internal::GetCapturedStderr();
        result.xml = Platform::WideToUtf8(text);
        result.missing = exporter->MissingContent();
        return result;
    }

    std::shared_ptr<ICheckFakeSession> session = std::make_shared<ICheckFakeSession>();
    std::shared_ptr<JournalLines> events = std::make_shared<JournalLines>();
};

const std::string kFilterX86 = "(&(objectClass=orvexKVICheckObj))";

TEST_F(ICheckExporterTest, WritesTheExportedObjectsInTheDirectorysOrder) {
    session->Answer(
        kX86, L"(&(objectClass=orvexKVICheckObj))",
        {Object(L"40", L"6", {1, 2, 3}), Object(L"1", L"0", {1}),
         Object(L"2", L"9", KvTest::Filler(8, 1)), Object(L"3", L"9", {}),
         Object(L"7", L"1", KvTest::Filler(57, 2)), Object(L"8", L"5", KvTest::Filler(58, 3)),
         Object(L"9", L"7", {2}), Object(L"10", L"8", {3}), Object(L"11", L"10", {4}),
         Object(L"12", L"", {5}), Object(L"", L"4", {6}), Object(L"13", L"2", {})});
    session->Answer(kX64, L"(&(objectClass=orvexKVICheckObj64))", {Object(L"5", L"3", {7, 8})});
    Result result = Export();
    EXPECT_EQ(
        result.xml,
        "<ICheck>\n"
        "  <orvexKVICheckObj>\n"
        "    <IcheckObject orvexKVICheckObjID=\"40\" orvexKVICheckObjType=\"6\" "
        "orvexKVICheckObjData=\"AQID\"/>\n"
        "    <IcheckObject orvexKVICheckObjID=\"3\" orvexKVICheckObjType=\"9\" "
        "orvexKVICheckObjData=\"\"/>\n"
        "    <IcheckObject orvexKVICheckObjID=\"7\" orvexKVICheckObjType=\"1\" "
        "orvexKVICheckObjData=\""
        "AwkRFx8lLTM7QUlPV11la3N5gYePlZ2jq7G5v8fN1dvj6fH3/wUNExshKS83PUVLU1lhZ291fYOL&#13;&#10;"
        "\"/>\n"
        "    <IcheckObject orvexKVICheckObjID=\"8\" orvexKVICheckObjType=\"5\" "
        "orvexKVICheckObjData=\""
        "AwsRGR8nLTU7Q0lRV19lbXN7gYmPl52lq7O5wcfP1d3j6/H5/wcNFRsjKTE3P0VNU1thaW93fYWL&#13;&#10;"
        "kw==\"/>\n"
        "    <IcheckObject orvexKVICheckObjID=\"\" orvexKVICheckObjType=\"4\" "
        "orvexKVICheckObjData=\"Bg==\"/>\n"
        "    <IcheckObject orvexKVICheckObjID=\"13\" orvexKVICheckObjType=\"2\" "
        "orvexKVICheckObjData=\"\"/>\n"
        "  </orvexKVICheckObj>\n"
        "  <orvexKVICheckObj64>\n"
        "    <IcheckObject orvexKVICheckObjID=\"5\" orvexKVICheckObjType=\"3\" "
        "orvexKVICheckObjData=\"Bwg=\"/>\n"
        "  </orvexKVICheckObj64>\n"
        "</ICheck>");
    EXPECT_EQ(result.console,
              "Starting export Icheck model for  x86  platform\n"
              "12  objects found\n"
              "6  objects exported\n"
              "Export Icheck model for  x86  platform done\n"
              "Starting export Icheck model for  x64  platform\n"
              "1  objects found\n"
              "1  objects exported\n"
              "Export Icheck model for  x64  platform done\n");
    EXPECT_EQ(result.warnings, "");
    EXPECT_EQ(result.missing, L"");
    // Every object read is accounted for, named as the directory names it.
    const std::wstring notMigrated = L": objects of type ";
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{
                  L"exported IcheckObject 40 (Type 0x00000006 ID 0x28 (x86))",
                  L"skipped IcheckObject 1 (Type 0x00000000 ID 0x1 (x86))" + notMigrated +
                      L"0 are not migrated",
                  L"skipped IcheckObject 2 (Type 0x00000009 ID 0x2 (x86)): the model time stamp; "
                  L"every import writes its own",
                  L"exported IcheckObject 3 (Type 0x00000009 ID 0x3 (x86))",
                  L"exported IcheckObject 7 (Type 0x00000001 ID 0x7 (x86))",
                  L"exported IcheckObject 8 (Type 0x00000005 ID 0x8 (x86))",
                  L"skipped IcheckObject 9 (Type 0x00000007 ID 0x9 (x86))" + notMigrated +
                      L"7 are not migrated",
                  L"skipped IcheckObject 10 (Type 0x00000008 ID 0xa (x86))" + notMigrated +
                      L"8 are not migrated",
                  L"skipped IcheckObject 11 (Type 0x0000000A ID 0xb (x86))" + notMigrated +
                      L"10 are not migrated",
                  L"skipped IcheckObject 12 (Type 0x00000000 ID 0xc (x86))" + notMigrated +
                      L"0 are not migrated",
                  L"exported IcheckObject  (Type 0x00000004 ID 0x0 (x86))",
                  L"exported IcheckObject 13 (Type 0x00000002 ID 0xd (x86))",
                  L"exported IcheckObject 5 (Type 0x00000003 ID 0x5 (x64))"}));
    // Each platform read once, from its container below the session's naming context.
    ASSERT_EQ(session->Requests().size(), 2u);
    EXPECT_EQ(session->Requests()[0].scope, LdapHelper::SCOPE_SUBTREE);
    EXPECT_EQ(session->Requests()[0].attributes,
              (LdapHelper::attr_list{L"orvexKVICheckObjID", L"orvexKVICheckObjType",
                                     L"orvexKVICheckObjData", L"distinguishedName"}));
}

TEST_F(ICheckExporterTest, EmptyContainersStillGiveTheirElementsAndCounts) {
    Result result = Export();
    EXPECT_EQ(result.xml, "<ICheck>\n  <orvexKVICheckObj/>\n  <orvexKVICheckObj64/>\n</ICheck>");
    EXPECT_EQ(result.console,
              "Starting export Icheck model for  x86  platform\n0  objects found\n"
              "0  objects exported\nExport Icheck model for  x86  platform done\n"
              "Starting export Icheck model for  x64  platform\n0  objects found\n"
              "0  objects exported\nExport Icheck model for  x64  platform done\n");
    EXPECT_TRUE(events->lines.empty());
}

TEST_F(ICheckExporterTest, ActiveDirectoryIsReadBelowItsNamingContext) {
    session->namingContext = L"DC=corp,DC=local";
    session->Answer(L"CN=Integrity Check Objects x64,CN=Korvant 5.0 Configuration,DC=corp,DC=local",
                    L"(&(objectClass=orvexKVICheckObj64))", {Object(L"5", L"3", {7})});
    Result result = Export(false);
    EXPECT_NE(result.xml.find("orvexKVICheckObjData=\"Bw==\""), std::string::npos) << result.xml;
}

TEST_F(ICheckExporterTest, APlatformThatCannotBeReadIsLeftOutAndNamed) {
    session->refusedBases = {kX86};
    session->Answer(kX64, L"(&(objectClass=orvexKVICheckObj64))", {Object(L"5", L"3", {7, 8})});
    Result result = Export();
    // No element for x86 at all: an import must not take it for an empty model and erase the
    // target's.
    EXPECT_EQ(result.xml,
              "<ICheck>\n"
              "  <orvexKVICheckObj64>\n"
              "    <IcheckObject orvexKVICheckObjID=\"5\" orvexKVICheckObjType=\"3\" "
              "orvexKVICheckObjData=\"Bwg=\"/>\n"
              "  </orvexKVICheckObj64>\n"
              "</ICheck>");
    EXPECT_EQ(
        result.console,
        "Starting export Icheck model for  x86  platform\n"
        "Starting export Icheck model for  x64  platform\n"
        "1  objects found\n1  objects exported\nExport Icheck model for  x64  platform done\n");
    EXPECT_EQ(result.warnings,
              "Export Icheck model for  x86  platform failed:  The requested resource is in "
              "use.\n");
    EXPECT_EQ(result.missing,
              L"The ICheck section lacks the integrity-check model of the x86 platform.");
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].code, L"aa");
    EXPECT_EQ(events->lines,
              (std::vector<std::wstring>{
                  L"failed orvexKVICheckObj x86 (x86): The requested resource is in use. [170]",
                  L"exported IcheckObject 5 (Type 0x00000003 ID 0x5 (x64))"}));
}

}  // namespace
}  // namespace KvMigration
