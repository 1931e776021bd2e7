#include "sections/common/CommonInfoExporter.h"
#include "sections/common/CommonInfoImporter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "storage/StorageFixture.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

using namespace KvStorageTest;

// The version a Common section gives, or the error the question raises.
std::wstring VersionRead(const std::wstring& document) {
    auto common = std::make_shared<CCommonInfoImporter>();
    SaxReader reader(XmlSource{document}, MigrationContext{});
    reader.RegisterImporter(L"Korvant/Config/Common", common);
    reader.Resume();
    try {
        SchemaVersion version = common->DataSchemaVersion();
        return std::to_wstring(version.major) + L"." + std::to_wstring(version.minor);
    } catch (const KvBase::CKvError& e) {
        return L"code " + std::to_wstring(e.Code());
    }
}

TEST(CommonInfoImporter, TakesTheSchemaVersionAndNothingElse) {
    struct Case {
        const char* title;
        std::wstring common;
        std::wstring result;
    };
    const std::vector<Case> cases = {
        {"version 7.16",
         L"<Date>09-12-2026 14:03</Date><SchemaVersion major=\"7\" minor=\"16\"/>"
         L"<DomainId>x</DomainId>",
         L"7.16"},
        {"minor missing", L"<SchemaVersion major=\"7\"/>", L"code 1"},
        {"major missing", L"<SchemaVersion minor=\"16\"/>", L"code 1"},
        {"not a number", L"<SchemaVersion major=\"seven\" minor=\"16\"/>", L"code 1"},
        {"beyond 32 bits", L"<SchemaVersion major=\"4294967296\" minor=\"16\"/>", L"code 1"},
        {"leading blanks and trailing text", L"<SchemaVersion major=\" 8x\" minor=\"19\"/>",
         L"8.19"},
        {"the last of two wins",
         L"<SchemaVersion major=\"7\" minor=\"16\"/><SchemaVersion major=\"8\" minor=\"19\"/>",
         L"8.19"},
        {"a broken second one leaves the first",
         L"<SchemaVersion major=\"7\" minor=\"16\"/><SchemaVersion major=\"8\"/>", L"7.16"},
        {"no version at all", L"<Date>09-12-2026 14:03</Date>", L"code 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(
            VersionRead(L"<Korvant><Config><Common>" + c.common + L"</Common></Config></Korvant>"),
            c.result);
    }
    EXPECT_EQ(VersionRead(L"<Korvant><Config><Mapping/></Config><Data/></Korvant>"), L"code 1");
}

// What an administrator reads when the data sections ask for a version the file does not give.
TEST(CommonInfoImporter, AMissingVersionSaysWhatTheFileLacksAndWhatWasNotImported) {
    struct Case {
        const char* title;
        std::wstring common;
        std::wstring lack;
    };
    const std::vector<Case> cases = {
        {"minor missing", L"<SchemaVersion major=\"7\"/>",
         L"(its SchemaVersion element at line 3 lacks the attribute minor)"},
        {"major missing", L"<SchemaVersion minor=\"16\"/>",
         L"(its SchemaVersion element at line 3 lacks the attribute major)"},
        {"not a number", L"<SchemaVersion major=\"7\" minor=\"sixteen\"/>",
         L"(the minor of its SchemaVersion element at line 3, \"sixteen\", is not a number)"},
        {"a long value is cut",
         L"<SchemaVersion major=\"" + std::wstring(100, L'x') + L"\" minor=\"1\"/>",
         L"(the major of its SchemaVersion element at line 3, \"" + std::wstring(40, L'x') +
             L"...\", is not a number)"},
        {"zero", L"<SchemaVersion major=\"0\" minor=\"0\"/>",
         L"(its SchemaVersion element at line 3 gives the version 0.0)"},
        {"no element", L"<Date>09-12-2026 14:03</Date>",
         L"(its Common section has no SchemaVersion element)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        auto common = std::make_shared<CCommonInfoImporter>();
        SaxReader reader(XmlSource{L"<Korvant><Config>\n<Common>\n" + c.common +
                                   L"</Common></Config></Korvant>"},
                         MigrationContext{});
        reader.RegisterImporter(L"Korvant/Config/Common", common);
        reader.Resume();
        try {
            common->DataSchemaVersion();
            ADD_FAILURE() << "no error raised";
        } catch (const KvBase::CKvError& e) {
            EXPECT_EQ(e.Code(), 1u);
            EXPECT_EQ(e.Description(),
                      L"The migration file gives no schema version for its data " + c.lack +
                          L", so nothing from the Oms section on was imported. Mend the "
                          L"SchemaVersion element of the Common section (major=\"7\" minor=\"16\" "
                          L"for an export of schema 7.16) and import again.");
        }
    }
}

TEST(CommonInfoImporter, UnsignedConversionFailsAsTheStandardOneDoes) {
    EXPECT_EQ(ToUnsigned(L"16"), 16u);
    EXPECT_EQ(ToUnsigned(L"4294967295"), 4294967295u);
    try {
        ToUnsigned(L"x");
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "invalid stoul argument");
    }
    try {
        ToUnsigned(L"4294967296");
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "stoul argument out of range");
    }
}

TEST(CommonInfoExporter, WritesDateVersionAndSecurityDomain) {
    KvTest::ScopedEnv tz("TZ", "UTC");
    tzset();
    LdsStorageFixture lab({7, 16});
    MigrationContext context;
    context.storage = lab.Session();
    context.serverSid = kServer;
    std::wstring text;
    {
        SaxWriter writer(&text, context);
        // 2026-12-09 14:03:59 UTC: seconds are not written.
        writer.RegisterExporter(L"Common", std::make_shared<CCommonInfoExporter>(nullptr, [] {
                                    return static_cast<std::time_t>(1796825039);
                                }));
        writer.StartNode(L"Common", L"");
        writer.EndNode();
    }
    EXPECT_EQ(text,
              L"<Common>\n  <Date>09-12-2026 14:03</Date>\n  <SchemaVersion major=\"7\" "
              L"minor=\"16\"/>\n  <DomainId>5A5A</DomainId>\n</Common>");
    EXPECT_EQ(context.journal->Total(ObjectAction::Exported), 1u);
    EXPECT_EQ(ExportDate(static_cast<std::time_t>(1775041200)), L"01-04-2026 11:00");
}

}  // namespace
}  // namespace KvMigration
