// The kind of damage of a document that is not well-formed, and how a damaged migration file is
// named to the administrator who has to mend it.
#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"
#include "xml/XmlPushParser.h"

namespace KvMigration {
namespace {

class NoSink : public IXmlEventSink {
public:
    void StartElement(const std::wstring&, const Attributes&) override {}
    void Characters(std::string_view) override {}
    void EndElement(const std::wstring&) override {}
};

struct DamageCase {
    const char* title;
    std::string document;
    XmlDamage damage;
    int line;
};

// A document much longer than one piece of reading, so that the end is met in a later piece.
std::string LongPrefix() {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Korvant>\n<Config>\n";
    while (text.size() < 200 * 1024) {
        text += "<Service oldId=\"S-1-5-21-1-2-3-1106\" oldName=\"ws03.corp.local\"/>\n";
    }
    return text;
}

std::vector<DamageCase> Cases() {
    const std::string longPrefix = LongPrefix();
    const int longLines = static_cast<int>(std::count(longPrefix.begin(), longPrefix.end(), '\n'));
    return {
        {"no bytes at all", "", XmlDamage::Empty, 1},
        {"blank lines", " \r\n\t\n", XmlDamage::Empty, 3},
        {"a byte-order mark alone", "\xEF\xBB\xBF", XmlDamage::Empty, 1},
        {"a declaration alone", "<?xml version=\"1.0\"?>\n", XmlDamage::CutOff, 2},
        {"cut after a start tag", "<Korvant>\n<Config>\n<Mapping>", XmlDamage::CutOff, 3},
        {"cut inside a start tag", "<Korvant>\n<Config a=\"x", XmlDamage::CutOff, 2},
        {"cut inside a text", "<Korvant>\n<Common>2026-", XmlDamage::CutOff, 2},
        {"cut inside a comment", "<Korvant><!-- note", XmlDamage::CutOff, 1},
        {"cut far into a long file", longPrefix + "<Service oldId=", XmlDamage::CutOff,
         longLines + 1},
        {"mismatched end tag", "<Korvant>\n<a></b>\n</Korvant>", XmlDamage::Malformed, 2},
        {"content after the root", "<Korvant/>\nx", XmlDamage::Malformed, 2},
        {"a second root", "<Korvant/><Korvant/>", XmlDamage::Malformed, 1},
        {"a document type declaration", "<!DOCTYPE Korvant><Korvant/>", XmlDamage::Malformed, 1},
        {"a bad byte far into a long file", longPrefix + "<a>\x01</a>", XmlDamage::Malformed,
         longLines + 1},
    };
}

TEST(XmlDamage, EmptyCutOffAndMalformedDocumentsAreToldApartInMemoryAndInFiles) {
    KvTest::ScopedTempDir dir;
    for (const DamageCase& c : Cases()) {
        SCOPED_TRACE(c.title);
        NoSink sink;
        auto inMemory = XmlPushParser::FromText(c.document);
        std::optional<XmlParseError> error = inMemory->Run(sink, L"test");
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->damage, c.damage) << Platform::WideToUtf8(error->message);
        EXPECT_EQ(error->line, c.line);

        KvTest::WriteFile(dir.File("m.xml"), c.document);
        auto fromFile = XmlPushParser::OpenFile(Platform::Utf8ToWide(dir.File("m.xml")), L"test");
        error = fromFile->Run(sink, L"test");
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->damage, c.damage) << Platform::WideToUtf8(error->message);
        EXPECT_EQ(error->line, c.line);
    }
}

TEST(XmlDamage, AFileIsNamedInTheAdministratorsTermsAndTheTraceKeepsTheParsersWords) {
    KvTest::ScopedTempDir dir;
    const std::wstring name = Platform::Utf8ToWide(dir.File("m.xml"));
    struct Case {
        const char* title;
        std::string document;
        std::wstring message;
    };
    const Case cases[] = {
        {"empty", "", L"The file \"" + name + L"\" is empty."},
        {"cut off", "<Korvant>\n<Config>\n<Mapping>",
         L"The file \"" + name + L"\" ends at line 3 before the document is complete."},
        {"malformed", "<Korvant>\n<a></b>",
         L"The file \"" + name +
             L"\" is damaged at line 2: Opening and ending tag mismatch: a line 2 and b."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(dir.File("m.xml"), c.document);
        SaxReader reader(name, MigrationContext{});
        reader.Resume();
        ASSERT_EQ(reader.Outcome(), ReadOutcome::Damaged);
        EXPECT_EQ(reader.DamagedDocumentError(), c.message);
        EXPECT_EQ(
            reader.ParserDamageText().rfind(L"The file \"" + name + L"\" is damaged at line ", 0),
            0u);
    }
}

TEST(XmlDamage, AnInMemoryDocumentKeepsTheParsersAccount) {
    SaxReader reader(XmlSource{L"<Settings>"}, MigrationContext{});
    reader.Resume();
    ASSERT_EQ(reader.Outcome(), ReadOutcome::Damaged);
    EXPECT_EQ(reader.Damage(), XmlDamage::CutOff);
    EXPECT_EQ(reader.DamagedDocumentError(), reader.ParserDamageText());
}

}  // namespace
}  // namespace KvMigration
