#include "xml/SaxReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/RecordingImporter.h"
#include "support/ScopedTempDir.h"
#include "xml/XmlLimits.h"

namespace KvMigration {
namespace {

using Log = std::vector<std::wstring>;

struct Reading {
    Log log;
    ReadOutcome outcome = ReadOutcome::NotRead;
    int damageLine = 0;
};

// Registers recording importers for three sections, reads the document and returns the calls.
Reading Read(SaxReader& reader, const std::vector<std::wstring>& extraPaths = {}) {
    auto log = std::make_shared<Log>();
    reader.RegisterImporter(L"Korvant/Config/Mapping",
                            std::make_shared<KvTest::RecordingImporter>(L"Mapping", log));
    reader.RegisterImporter(L"Korvant/Config/Common",
                            std::make_shared<KvTest::RecordingImporter>(L"Common", log));
    reader.RegisterImporter(L"Korvant/Data/Oms",
                            std::make_shared<KvTest::RecordingImporter>(L"Oms", log));
    for (const std::wstring& path : extraPaths) {
        reader.RegisterImporter(path, std::make_shared<KvTest::RecordingImporter>(path, log));
    }
    EXPECT_TRUE(log->empty()) << "nothing may be delivered before Resume";
    reader.Resume();
    return {*log, reader.Outcome(), reader.DamageLine()};
}

Reading ReadText(const std::wstring& document, const std::vector<std::wstring>& extraPaths = {}) {
    SaxReader reader(XmlSource{document}, MigrationContext{});
    return Read(reader, extraPaths);
}

struct EventCase {
    const char* name;
    std::wstring document;
    Log expected;
};

TEST(SaxReader, DeliversTheEventsOfRegisteredSections) {
    const std::vector<EventCase> cases = {
        {"section with attributes and a child",
         L"<Korvant><Config><Common kind=\"c\" n=\"1\">"
         L"<SchemaVersion major=\"7\" minor=\"16\"/></Common></Config></Korvant>",
         {L"Common: BeginImport(kind=c n=1)", L"Common: StartNode(SchemaVersion major=7 minor=16)",
          L"Common: EndNode(SchemaVersion)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"only the text after the last child is delivered",
         L"<Korvant><Config><Common><a>x<b/>y</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: StartNode(b)",
          L"Common: EndNode(b)", L"Common: Value(y)", L"Common: EndNode(a)",
          L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"whitespace-only text is not data",
         L"<Korvant>\n <Config>\n  <Common>\n\t<a>  \n\t </a>\n  </Common>\n </Config>\n</Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: EndNode(a)",
          L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"blanks around and inside a text are kept",
         L"<Korvant><Config><Common><a>  two words \n</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(  two words \n)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"the section element's own text after its last child",
         L"<Korvant><Config><Common>lost<a/>kept</Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: EndNode(a)",
          L"Common: Value(kept)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"references in text and attributes are decoded; a blank between them stays",
         L"<Korvant><Config><Common><a k=\"x &amp; y &lt;&#38;&#x42;&quot;\">&lt; &gt;&amp;&#65;"
         L"</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a k=x & y <&B\")", L"Common: Value(< >&A)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"CDATA is text",
         L"<Korvant><Config><Common><a><![CDATA[<raw> & ]]>tail</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(<raw> & tail)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"local names for elements, qualified names for attributes, no namespace declarations",
         L"<Korvant xmlns:p=\"urn:p\"><Config><Common><p:a p:k=\"v\" xmlns=\"urn:d\"/>"
         L"</Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a p:k=v)", L"Common: EndNode(a)",
          L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"non-ASCII text and attributes",
         L"<Korvant><Config><Common><a "
         L"k=\"\x0417\x043D\x0430\x0447\">\x0422\x0435\x043A\x0441\x0442 "
         L"\x20AC \U0001F600</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a k=\x0417\x043D\x0430\x0447)",
          L"Common: Value(\x0422\x0435\x043A\x0441\x0442 \x20AC \U0001F600)", L"Common: EndNode(a)",
          L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"elements outside the sections are ignored with everything inside them",
         L"<Korvant><Extra><Config><Common><a/></Common></Config></Extra>"
         L"<Config><Other>t</Other></Config></Korvant>",
         {}},
        {"a section that occurs twice is imported twice",
         L"<Korvant><Config><Common><a>1</a></Common><Common><a>2</a></Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(1)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()",
          L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(2)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"sections are read in document order, Data before Config included",
         L"<Korvant><Data><Oms/></Data><Config><Mapping/><Common/></Config></Korvant>",
         {L"Oms: BeginImport()", L"Oms: EndNode(Oms)", L"Oms: EndImport()",
          L"Mapping: BeginImport()", L"Mapping: EndNode(Mapping)", L"Mapping: EndImport()",
          L"Common: BeginImport()", L"Common: EndNode(Common)", L"Common: EndImport()"}},
        {"names are compared exactly", L"<korvant><Config><Common/></Config></korvant>", {}},
        {"comments and processing instructions are no events",
         L"<?xml version=\"1.0\"?><!-- c --><Korvant><Config><Common><?pi x?><a>t<!-- c -->u</a>"
         L"</Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(tu)",
          L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reading reading = ReadText(c.document);
        EXPECT_EQ(reading.outcome, ReadOutcome::Complete);
        EXPECT_EQ(reading.log, c.expected);
    }
}

TEST(SaxReader, RegisteredPathInsideAnActiveSectionNeitherStartsNorEndsASection) {
    Reading reading = ReadText(
        L"<Korvant><Config><Common><Inner><x/></Inner><after/></Common></Config></Korvant>",
        {L"Korvant/Config/Common/Inner"});
    EXPECT_EQ(reading.log,
              (Log{L"Common: BeginImport()", L"Common: StartNode(Inner)", L"Common: StartNode(x)",
                   L"Common: EndNode(x)", L"Common: EndNode(Inner)", L"Common: StartNode(after)",
                   L"Common: EndNode(after)", L"Common: EndNode(Common)", L"Common: EndImport()"}));
}

TEST(SaxReader, LaterRegistrationForAPathReplacesTheEarlierOne) {
    auto log = std::make_shared<Log>();
    SaxReader reader(XmlSource{L"<Korvant><Config><Common/></Config></Korvant>"},
                     MigrationContext{});
    reader.RegisterImporter(L"Korvant/Config/Common",
                            std::make_shared<KvTest::RecordingImporter>(L"first", log));
    reader.RegisterImporter(L"Korvant/Config/Common",
                            std::make_shared<KvTest::RecordingImporter>(L"second", log));
    reader.Resume();
    EXPECT_EQ(*log,
              (Log{L"second: BeginImport()", L"second: EndNode(Common)", L"second: EndImport()"}));
}

TEST(SaxReader, NullImporterIsIgnoredAndAnEarlierOneStays) {
    auto log = std::make_shared<Log>();
    SaxReader reader(XmlSource{L"<Korvant><Config><Mapping/><Common/></Config></Korvant>"},
                     MigrationContext{});
    reader.RegisterImporter(L"Korvant/Config/Mapping", nullptr);
    reader.RegisterImporter(L"Korvant/Config/Common",
                            std::make_shared<KvTest::RecordingImporter>(L"Common", log));
    reader.RegisterImporter(L"Korvant/Config/Common", nullptr);
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete);
    EXPECT_EQ(*log,
              (Log{L"Common: BeginImport()", L"Common: EndNode(Common)", L"Common: EndImport()"}));
}

TEST(SaxReader, InMemoryDocumentDeclaredAsUtf16IsReadAsTheTextItIs) {
    Reading reading = ReadText(
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Korvant><Config><Common>"
        L"<a>\x0416</a></Common></Config></Korvant>");
    EXPECT_EQ(reading.outcome, ReadOutcome::Complete);
    EXPECT_EQ(reading.log,
              (Log{L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(\x0416)",
                   L"Common: EndNode(a)", L"Common: EndNode(Common)", L"Common: EndImport()"}));
}

TEST(SaxReader, TextCutByTheReadBufferIsDeliveredWhole) {
    // The file is read in 64 KiB pieces; the blanks around the boundary belong to the value.
    KvTest::ScopedTempDir dir;
    std::string prefix = "<Korvant><Config><Common><a>x";
    std::string blanks(70000 - prefix.size(), ' ');
    std::string text = "x" + blanks + "y\t\n z";
    KvTest::WriteFile(dir.File("big.xml"),
                      prefix + blanks + "y\t\n z</a></Common></Config></Korvant>");
    SaxReader reader(Platform::Utf8ToWide(dir.File("big.xml")), MigrationContext{});
    Reading reading = Read(reader);
    ASSERT_EQ(reading.log.size(), 6u);
    EXPECT_EQ(reading.log[2], L"Common: Value(" + Platform::Utf8ToWide(text) + L")");
}

TEST(SaxReader, FileInUtf16WithByteOrderMarkIsRead) {
    KvTest::ScopedTempDir dir;
    std::wstring document =
        L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><Korvant><Config><Common a=\"\x0416\"/>"
        L"</Config></Korvant>";
    KvTest::WriteFile(dir.File("utf16.xml"), Platform::WideToUtf16Le(document));
    SaxReader reader(Platform::Utf8ToWide(dir.File("utf16.xml")), MigrationContext{});
    Reading reading = Read(reader);
    EXPECT_EQ(reading.outcome, ReadOutcome::Complete);
    EXPECT_EQ(reading.log, (Log{L"Common: BeginImport(a=\x0416)", L"Common: EndNode(Common)",
                                L"Common: EndImport()"}));
}

struct DamageCase {
    const char* name;
    std::wstring document;
    Log expected;
    int line;
};

TEST(SaxReader, DamagedDocumentIsReadUpToTheErrorAndSaysWhere) {
    const std::vector<DamageCase> cases = {
        {"section left open by a mismatched tag",
         L"<Korvant>\n<Config>\n<Common>\n<a>t</a>\n<b k=\"1\">u</c>\n</Common></Config></Korvant>",
         {L"Common: BeginImport()", L"Common: StartNode(a)", L"Common: Value(t)",
          L"Common: EndNode(a)", L"Common: StartNode(b k=1)"},
         5},
        {"document cut off after a complete section",
         L"<Korvant>\n<Config>\n<Common/>\n<Mapping>\n<m>",
         {L"Common: BeginImport()", L"Common: EndNode(Common)", L"Common: EndImport()",
          L"Mapping: BeginImport()", L"Mapping: StartNode(m)"},
         5},
        {"undeclared entity",
         L"<Korvant><Config><Common>&unknown;</Common></Config></Korvant>",
         {L"Common: BeginImport()"},
         1},
        {"empty document", L"", {}, 1},
        {"second root element", L"<Korvant/><Korvant/>", {}, 1},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reading reading = ReadText(c.document);
        EXPECT_EQ(reading.outcome, ReadOutcome::Damaged);
        EXPECT_EQ(reading.log, c.expected);
        EXPECT_EQ(reading.damageLine, c.line);
    }
}

std::wstring Nested(int depth) {
    std::wstring document;
    for (int i = 0; i < depth; ++i) {
        document += L"<a>";
    }
    for (int i = 0; i < depth; ++i) {
        document += L"</a>";
    }
    return document;
}

TEST(SaxReader, DepthAndNamesWithinTheLimitsAreReadAndBeyondThemAreDamage) {
    struct Case {
        const char* name;
        std::wstring document;
        std::wstring error;  // empty: read to its end
    };
    const std::wstring longest(XmlMaxNameBytes, L'N');
    const std::vector<Case> cases = {
        {"deepest nesting", Nested(XmlMaxDepth), L""},
        {"one level deeper", Nested(XmlMaxDepth + 1),
         L"The XML document is damaged at line 1: Elements nested deeper than 256 levels."},
        {"longest name", L"<" + longest + L" " + longest + L"=\"1\"/>", L""},
        {"longer element name", L"<" + longest + L"N/>",
         L"The XML document is damaged at line 1: Name longer than 50000 bytes."},
        {"longer attribute name", L"<a " + longest + L"N=\"1\"/>",
         L"The XML document is damaged at line 1: Name longer than 50000 bytes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SaxReader reader(XmlSource{c.document}, MigrationContext{});
        reader.Resume();
        EXPECT_EQ(reader.Outcome(), c.error.empty() ? ReadOutcome::Complete : ReadOutcome::Damaged);
        if (!c.error.empty()) {
            EXPECT_EQ(reader.DamagedDocumentError(), c.error);
        }
    }
}

TEST(SaxReader, AttributeValueOverSixtyFourMebibytesIsDamageAndNotDelivered) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("huge.xml"), "<Korvant><Config><Common>\n<Body data=\"" +
                                                std::string(XmlMaxValueBytes + 1, 'x') +
                                                "\"/></Common></Config></Korvant>");
    std::wstring name = Platform::Utf8ToWide(dir.File("huge.xml"));
    SaxReader reader(name, MigrationContext{});
    Reading reading = Read(reader);
    EXPECT_EQ(reading.outcome, ReadOutcome::Damaged);
    EXPECT_EQ(reading.log, Log{L"Common: BeginImport()"});
    EXPECT_EQ(reader.DamagedDocumentError(),
              L"The file \"" + name +
                  L"\" is damaged at line 2: Value of attribute \"data\" longer than 64 MiB.");
}

TEST(SaxReader, DamagedFileIsNamedInTheErrorText) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("broken.xml"), "<Korvant>\n<Config>\n</Korvant>");
    std::wstring name = Platform::Utf8ToWide(dir.File("broken.xml"));
    SaxReader reader(name, MigrationContext{});
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Damaged);
    EXPECT_EQ(reader.DamagedDocumentError(),
              L"The file \"" + name +
                  L"\" is damaged at line 3: Opening and ending tag mismatch: Config line 2 and "
                  L"Korvant.");
}

TEST(SaxReader, ExternalEntitiesAreNeverLoaded) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("secret.txt"), "secret");
    std::wstring document = L"<!DOCTYPE Korvant [<!ENTITY x SYSTEM \"file://" +
                            Platform::Utf8ToWide(dir.File("secret.txt")) +
                            L"\">]><Korvant><Config><Common>&x;</Common></Config></Korvant>";
    Reading reading = ReadText(document);
    EXPECT_EQ(reading.outcome, ReadOutcome::Damaged);
    EXPECT_EQ(reading.log, Log{});
}

TEST(SaxReader, DocumentTypeDeclarationIsDamageAndNothingAfterItIsRead) {
    const std::vector<DamageCase> cases = {
        {"external subset and an undefined entity",
         L"<!DOCTYPE Korvant SYSTEM \"korvant.dtd\"><Korvant><Config><Common>a&undefined;b"
         L"</Common></Config></Korvant>",
         {},
         1},
        {"internal subset defining an entity the section uses",
         L"<!DOCTYPE Korvant [<!ENTITY e \"injected\">]>\n<Korvant><Config><Common>&e;</Common>"
         L"</Config></Korvant>",
         {},
         1},
        {"attribute defaults",
         L"<!DOCTYPE Korvant [<!ATTLIST Common k CDATA \"injected\">]><Korvant><Config><Common/>"
         L"</Config></Korvant>",
         {},
         1},
        {"parameter entities",
         L"<!DOCTYPE Korvant [<!ENTITY % p \"<!ENTITY e 'injected'>\"> %p;]><Korvant><Config>"
         L"<Common>&e;</Common></Config></Korvant>",
         {},
         1},
        {"nested entities",
         L"<!DOCTYPE Korvant [<!ENTITY a \"xxxxxxxx\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         L"<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><Korvant><Config><Common>&c;</Common>"
         L"</Config></Korvant>",
         {},
         1},
        {"no subset at all, after a declaration and a comment",
         L"<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE Korvant>\n<Korvant><Config><Common/>"
         L"</Config></Korvant>",
         {},
         3},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        SaxReader reader(XmlSource{c.document}, MigrationContext{});
        Reading reading = Read(reader);
        EXPECT_EQ(reading.outcome, ReadOutcome::Damaged);
        EXPECT_EQ(reading.log, c.expected);
        EXPECT_EQ(reading.damageLine, c.line);
        EXPECT_EQ(reader.DamagedDocumentError(),
                  L"The XML document is damaged at line " + std::to_wstring(c.line) +
                      L": Document type declarations (DOCTYPE) are not accepted.");
    }
}

TEST(SaxReader, MissingFileIsRaisedByTheConstructor) {
    try {
        SaxReader reader(L"/nonexistent/folder/file.xml", MigrationContext{});
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 2u);
        EXPECT_NE(e.Dump().find(L"SaxReader::SaxReader"), std::wstring::npos);
    }
}

}  // namespace
}  // namespace KvMigration
