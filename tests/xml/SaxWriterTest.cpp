#include "xml/SaxWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/RecordingImporter.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"
#include "xml/XmlLimits.h"

namespace KvMigration {
namespace {

using Steps = std::function<void(ISaxWriter&)>;

std::wstring WriteToMemory(const Steps& steps) {
    std::wstring text = L"untouched";
    {
        SaxWriter writer(&text, MigrationContext{});
        steps(writer);
    }
    return text;
}

struct WriterCase {
    const char* name;
    Steps steps;
    std::wstring expected;
};

TEST(SaxWriter, WritesElementsAttributesAndTexts) {
    const std::vector<WriterCase> cases = {
        {"empty element",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"");
             w.EndNode();
         },
         L"<A/>"},
        {"element with text",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"x");
             w.EndNode();
         },
         L"<A>x</A>"},
        {"attribute on the element just opened, child indented",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"");
             w.WriteAttribute(L"k", L"1");
             w.StartNode(L"B", L"");
             w.EndNode();
             w.EndNode();
         },
         L"<A k=\"1\">\n  <B/>\n</A>"},
        {"one level of indentation per depth, texts inline",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"");
             w.StartNode(L"B", L"");
             w.StartNode(L"C", L"t");
             w.EndNode();
             w.EndNode();
             w.StartNode(L"D", L"");
             w.EndNode();
             w.EndNode();
         },
         L"<A>\n  <B>\n    <C>t</C>\n  </B>\n  <D/>\n</A>"},
        {"text and attribute values escaped",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"a<b&c>\"'");
             w.WriteAttribute(L"k", L"q\"<&>'\n\t");
             w.EndNode();
         },
         L"<A k=\"q&quot;&lt;&amp;&gt;'&#10;&#9;\">a&lt;b&amp;c&gt;&quot;'</A>"},
        {"a repeated attribute keeps the last value",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"");
             w.WriteAttribute(L"k", L"1");
             w.WriteAttribute(L"m", L"2");
             w.WriteAttribute(L"k", L"3");
             w.EndNode();
         },
         L"<A k=\"3\" m=\"2\"/>"},
        {"non-ASCII characters",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"\x0416\x20AC\U0001F600");
             w.EndNode();
         },
         L"<A>\x0416\x20AC\U0001F600</A>"},
        {"closing with nothing open returns nothing and writes nothing",
         [](ISaxWriter& w) {
             w.StartNode(L"A", L"");
             EXPECT_EQ(w.EndNode(), L"A");
             EXPECT_EQ(w.EndNode(), L"");
         },
         L"<A/>"},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WriteToMemory(c.steps), c.expected);
    }
}

TEST(SaxWriter, MemoryTargetIsFilledOnlyWhenTheOutermostElementCloses) {
    std::wstring text = L"before";
    SaxWriter writer(&text, MigrationContext{});
    writer.StartNode(L"A", L"");
    writer.StartNode(L"B", L"b");
    EXPECT_EQ(writer.EndNode(), L"B");
    EXPECT_EQ(text, L"before");
    EXPECT_EQ(writer.EndNode(), L"A");
    EXPECT_EQ(text, L"<A>\n  <B>b</B>\n</A>");
}

TEST(SaxWriter, MemoryTextKeepsCharactersBeyondAsciiLiteral) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    writer.StartNode(L"Правило", L"№1 & <все>");
    writer.WriteAttribute(L"имя", L"Корвант \"8\"");
    writer.EndNode();
    EXPECT_EQ(text, L"<Правило имя=\"Корвант &quot;8&quot;\">№1 &amp; &lt;все&gt;</Правило>");
}

TEST(SaxWriter, NullMemoryTargetIsRefused) {
    try {
        SaxWriter writer(static_cast<std::wstring*>(nullptr), MigrationContext{});
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(), L"pMemory is NULL");
    }
}

uint32_t CodeOf(const std::function<void()>& action, std::wstring* description = nullptr) {
    try {
        action();
    } catch (const KvBase::CKvError& e) {
        if (description != nullptr) {
            *description = e.Description();
        }
        return e.Code();
    }
    return 0;
}

TEST(SaxWriter, AttributeWithoutPendingElementFailsWithCode21) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    EXPECT_EQ(CodeOf([&] { writer.WriteAttribute(L"k", L"1"); }), 21u);
    writer.StartNode(L"A", L"");
    writer.StartNode(L"B", L"");
    writer.EndNode();
    EXPECT_EQ(CodeOf([&] { writer.WriteAttribute(L"k", L"1"); }), 21u);
}

TEST(SaxWriter, CharactersXmlCannotHoldAreRefusedBeforeAnythingIsWritten) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    writer.StartNode(L"A", L"");
    std::wstring description;
    EXPECT_EQ(CodeOf([&] { writer.StartNode(L"B", L"bell\x07"); }, &description), 0x80004005u);
    EXPECT_EQ(description,
              L"The value of \"B\" contains the character U+0007, which an XML file cannot hold.");
    EXPECT_NE(CodeOf([&] { writer.WriteAttribute(L"k", L"\xFFFE"); }), 0u);
    writer.EndNode();
    EXPECT_EQ(text, L"<A/>");
}

TEST(SaxWriter, ValuesLongerThanTheReaderTakesAreRefusedBeforeAnythingIsWritten) {
    // Four bytes each in UTF-8: one character more than the limit allows.
    const std::wstring tooLong = std::wstring(XmlMaxValueBytes / 4, L'\U0001F600') + L"x";
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    writer.StartNode(L"A", L"");
    std::wstring description;
    EXPECT_NE(CodeOf([&] { writer.StartNode(L"B", tooLong); }, &description), 0u);
    EXPECT_EQ(
        description,
        L"The value of \"B\" is longer than 64 MiB, the most a value may take in an XML file.");
    EXPECT_NE(CodeOf([&] { writer.WriteAttribute(L"k", tooLong); }, &description), 0u);
    EXPECT_EQ(
        description,
        L"The value of \"k\" is longer than 64 MiB, the most a value may take in an XML file.");
    writer.EndNode();
    EXPECT_EQ(text, L"<A/>");
}

TEST(SaxWriter, NestingDeeperThanTheReaderTakesIsRefused) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    for (int i = 0; i < XmlMaxDepth; ++i) {
        writer.StartNode(L"a", L"");
    }
    std::wstring description;
    EXPECT_NE(CodeOf([&] { writer.StartNode(L"b", L""); }, &description), 0u);
    EXPECT_EQ(description,
              L"The element \"b\" would be nested deeper than 256 levels, the most an "
              L"XML file may hold.");
    for (int i = 0; i < XmlMaxDepth; ++i) {
        EXPECT_EQ(writer.EndNode(), L"a");
    }
    EXPECT_EQ(text.find(L'b'), std::wstring::npos);
    SaxReader reader(XmlSource{text}, MigrationContext{});
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete);
}

TEST(SaxWriter, StartTagLongerThanTheReaderTakesIsRefused) {
    // <A k="..."/> with every character of the value written as &quot;: nine bytes besides.
    const size_t quotes = (XmlMaxMarkupBytes - 9) / 6;
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    writer.StartNode(L"A", L"");
    writer.WriteAttribute(L"k", std::wstring(quotes, L'"'));
    std::wstring description;
    EXPECT_NE(CodeOf([&] { writer.WriteAttribute(L"m", L""); }, &description), 0u);
    EXPECT_EQ(description,
              L"The start tag of \"A\" would be longer than 256 MiB with the attribute "
              L"\"m\", the most an XML file may hold in one tag.");
    EXPECT_NE(CodeOf([&] { writer.WriteAttribute(L"k", std::wstring(quotes + 1, L'"')); }), 0u);
    writer.WriteAttribute(L"k", L"short");
    writer.WriteAttribute(L"m", L"");
    writer.EndNode();
    EXPECT_EQ(text, L"<A k=\"short\" m=\"\"/>");
}

TEST(SaxWriter, NamesTheReaderCannotReadBackAsWrittenAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::wstring name;
        std::wstring elementError;  // the attribute's error reads "attribute name" instead
    };
    const std::wstring longest(XmlMaxNameBytes, L'N');
    const std::vector<Case> cases = {
        {L"", L"The element name \"\" is not an XML name."},
        {L"1V", L"The element name \"1V\" is not an XML name."},
        {L"-a", L"The element name \"-a\" is not an XML name."},
        {L".a", L"The element name \".a\" is not an XML name."},
        {L"\u00B7a", L"The element name \"\u00B7a\" is not an XML name."},
        {L"\u0300a", L"The element name \"\u0300a\" is not an XML name."},
        {L"a b", L"The element name \"a b\" is not an XML name."},
        {L"a>b", L"The element name \"a>b\" is not an XML name."},
        {L"a\x00D7", L"The element name \"a\x00D7\" is not an XML name."},
        {L"a\xFFFE", L"The element name \"a\xFFFE\" is not an XML name."},
        {L"a\U000F0000", L"The element name \"a\U000F0000\" is not an XML name."},
        {L"p:V",
         L"The element name \"p:V\" contains \":\", which a reader takes for a namespace "
         L"prefix."},
        {L":V",
         L"The element name \":V\" contains \":\", which a reader takes for a namespace "
         L"prefix."},
        {L"xmlns:q",
         L"The element name \"xmlns:q\" contains \":\", which a reader takes for a "
         L"namespace prefix."},
        {L"xmlns", L"The element name \"xmlns\" begins with \"xml\", which XML reserves."},
        {L"XmlData", L"The element name \"XmlData\" begins with \"xml\", which XML reserves."},
        {longest + L"N",
         L"The element name \"" + longest.substr(0, 64) + L"...\" is longer than 50000 bytes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.name.substr(0, 20)));
        std::wstring text;
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(L"A", L"");
        std::wstring attributeError = c.elementError;
        attributeError.replace(4, 7, L"attribute");
        for (bool element : {true, false}) {
            try {
                if (element) {
                    writer.StartNode(c.name, L"");
                } else {
                    writer.WriteAttribute(c.name, L"1");
                }
                ADD_FAILURE() << "no error raised";
            } catch (const KvBase::CKvError& e) {
                EXPECT_EQ(e.Description(), element ? c.elementError : attributeError);
                EXPECT_NE(
                    e.Dump().find(element ? L"SaxWriter::StartNode" : L"SaxWriter::WriteAttribute"),
                    std::wstring::npos);
            }
        }
        writer.EndNode();
        EXPECT_EQ(text, L"<A/>");
    }
}

TEST(SaxWriter, NamesXmlAllowsComeBackFromTheReaderUnchanged) {
    const std::wstring longest(XmlMaxNameBytes / 2, L'\x0416');
    const std::vector<std::wstring> names = {
        L"a",        L"_x",      L"A-1.b_c",      L"\x0416\x0434",
        L"x\x00B7y", L"a\x0300", L"\x540D\x524D", L"\U00010000a",
        L"Xm",       L"axml",    L"x\x203Fy",     longest};
    for (const std::wstring& name : names) {
        SCOPED_TRACE(Platform::WideToUtf8(name.substr(0, 20)));
        std::wstring text;
        {
            SaxWriter writer(&text, MigrationContext{});
            writer.StartNode(L"Korvant", L"");
            writer.StartNode(L"Common", L"");
            writer.StartNode(name, L"");
            writer.WriteAttribute(name, L"1");
            writer.EndNode();
            writer.EndNode();
            writer.EndNode();
        }
        auto log = std::make_shared<std::vector<std::wstring>>();
        SaxReader reader(XmlSource{text}, MigrationContext{});
        reader.RegisterImporter(L"Korvant/Common",
                                std::make_shared<KvTest::RecordingImporter>(L"C", log));
        reader.Resume();
        EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete);
        ASSERT_EQ(log->size(), 5u);
        EXPECT_EQ((*log)[1], L"C: StartNode(" + name + L" " + name + L"=1)");
        EXPECT_EQ((*log)[2], L"C: EndNode(" + name + L")");
    }
}

TEST(SaxWriter, FileIsUtf8WithDeclaration) {
    KvTest::ScopedTempDir dir;
    {
        SaxWriter writer(Platform::Utf8ToWide(dir.File("out.xml")), MigrationContext{});
        writer.StartNode(L"Korvant", L"");
        writer.StartNode(L"Config", L"\x0416");
        writer.EndNode();
        writer.EndNode();
    }
    EXPECT_EQ(KvTest::ReadFile(dir.File("out.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Korvant>\n  <Config>\xD0\x96</Config>\n"
              "</Korvant>\n");
}

TEST(SaxWriter, FileThatCannotBeCreatedIsRaisedByTheConstructor) {
    try {
        SaxWriter writer(L"/nonexistent/folder/out.xml", MigrationContext{});
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 2u);
        EXPECT_NE(e.Dump().find(L"SaxWriter::SaxWriter"), std::wstring::npos);
    }
}

TEST(SaxWriter, TheFileIsNeverWrittenThroughALinkOrIntoAFifo) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("victim"), "precious");
    ASSERT_EQ(symlink(dir.File("victim").c_str(), dir.File("link.xml").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo.xml").c_str(), 0600), 0);
    struct Case {
        std::string name;
        uint32_t code;
    };
    // A FIFO without a reader cannot be opened at all without blocking.
    const Case cases[] = {{"link.xml", 1921}, {"fifo.xml", 110}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CodeOf([&] {
                      SaxWriter writer(Platform::Utf8ToWide(dir.File(c.name)), MigrationContext{});
                  }),
                  c.code);
    }
    EXPECT_EQ(KvTest::ReadFile(dir.File("victim")), "precious");
}

TEST(SaxWriter, WritingToAFullDiskIsAnError) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::wstring description;
    uint32_t code = CodeOf([&] {
        SaxWriter writer(L"/dev/full", MigrationContext{});
        writer.StartNode(L"A", std::wstring(10000, L'x'));
        writer.EndNode();
    });
    EXPECT_EQ(code, 112u);
}

// Writes fixed content into its section and can be told to fail after its first element.
class SectionExporter : public IExporter {
public:
    explicit SectionExporter(bool failMidway = false, int extraEnds = 0)
        : failMidway_(failMidway), extraEnds_(extraEnds) {}
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override {
        writer->WriteAttribute(L"server", context.serverSid);
        writer->StartNode(L"Item", L"1");
        writer->EndNode();
        if (failMidway_) {
            writer->StartNode(L"Open", L"");
            writer->StartNode(L"Deeper", L"");
            throw std::runtime_error("directory gone");
        }
        for (int i = 0; i < extraEnds_; ++i) {
            EXPECT_EQ(writer->EndNode(), L"");
        }
    }

private:
    bool failMidway_;
    int extraEnds_;
};

TEST(SaxWriter, ExporterWritesIntoItsSectionWhileTheSectionTagIsPending) {
    MigrationContext context;
    context.serverSid = L"S-1-5-21-1";
    std::wstring text;
    SaxWriter writer(&text, context);
    writer.RegisterExporter(L"Root/Section", std::make_shared<SectionExporter>(false, 2));
    writer.StartNode(L"Root", L"");
    writer.StartNode(L"Section", L"");
    writer.StartNode(L"After", L"");  // the section is still open after its exporter overran
    writer.EndNode();
    EXPECT_EQ(writer.EndNode(), L"Section");
    writer.EndNode();
    EXPECT_EQ(text,
              L"<Root>\n  <Section server=\"S-1-5-21-1\">\n    <Item>1</Item>\n    <After/>\n"
              L"  </Section>\n</Root>");
}

TEST(SaxWriter, NullExporterIsIgnoredAndAnEarlierOneStays) {
    std::wstring text;
    SaxWriter writer(&text, MigrationContext{});
    writer.RegisterExporter(L"Root/Empty", nullptr);
    writer.RegisterExporter(L"Root/Section", std::make_shared<SectionExporter>());
    writer.RegisterExporter(L"Root/Section", nullptr);
    writer.StartNode(L"Root", L"");
    writer.StartNode(L"Empty", L"");
    writer.EndNode();
    writer.StartNode(L"Section", L"");
    writer.EndNode();
    writer.EndNode();
    EXPECT_EQ(text,
              L"<Root>\n  <Empty/>\n  <Section server=\"\">\n    <Item>1</Item>\n  </Section>\n"
              L"</Root>");
}

// A file closed as if complete would be imported as a complete export, its missing part taken
// for data the source never had: the file keeps what was written, but not the end tags.
TEST(SaxWriter, ExporterFailingMidwayLeavesAFileWithoutItsEndTags) {
    KvTest::ScopedTempDir dir;
    std::wstring name = Platform::Utf8ToWide(dir.File("partial.xml"));
    try {
        SaxWriter writer(name, MigrationContext{});
        writer.RegisterExporter(L"Korvant/Data", std::make_shared<SectionExporter>(true));
        writer.StartNode(L"Korvant", L"");
        writer.StartNode(L"Data", L"");
        FAIL() << "the exporter's failure did not reach the caller";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "directory gone");
    }
    const std::string written = KvTest::ReadFile(dir.File("partial.xml"));
    EXPECT_EQ(written.rfind(
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Korvant>\n  <Data server=\"\">\n"
                  "    <Item>1</Item>\n    <Open",
                  0),
              0u)
        << written;
    EXPECT_EQ(written.find("</Data>"), std::string::npos) << written;
    EXPECT_EQ(written.find("</Korvant>"), std::string::npos) << written;
    auto log = std::make_shared<std::vector<std::wstring>>();
    SaxReader reader(name, MigrationContext{});
    reader.RegisterImporter(L"Korvant/Data",
                            std::make_shared<KvTest::RecordingImporter>(L"Data", log));
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Damaged);
    EXPECT_EQ(*log, (std::vector<std::wstring>{L"Data: BeginImport(server=)",
                                               L"Data: StartNode(Item)", L"Data: Value(1)",
                                               L"Data: EndNode(Item)", L"Data: StartNode(Open)"}));
}

// The writer of a document that is done with before a failure leaves it is ended as usual.
TEST(SaxWriter, AWriterMadeWhileAFailureIsOnItsWayStillClosesItsFile) {
    KvTest::ScopedTempDir dir;
    const std::string file = dir.File("cleanup.xml");
    struct WritesOnUnwinding {
        std::string file;
        ~WritesOnUnwinding() {
            SaxWriter writer(Platform::Utf8ToWide(file), MigrationContext{});
            writer.StartNode(L"Korvant", L"");
        }
    };
    try {
        WritesOnUnwinding writes{file};
        throw std::runtime_error("failure");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(KvTest::ReadFile(file), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Korvant/>\n");
}

TEST(SaxWriter, ValuesComeBackFromTheReaderUnchanged) {
    const std::vector<std::wstring> values = {L"plain",
                                              L"  leading and trailing  ",
                                              L"line\r\nbreaks\rand\ttabs\n",
                                              L"<&>\"' &amp; &#38; ]]>",
                                              L"\x0416\x20AC\U0001F600",
                                              L"x  \n  y"};
    for (const std::wstring& value : values) {
        SCOPED_TRACE(Platform::WideToUtf8(value));
        std::wstring text;
        {
            SaxWriter writer(&text, MigrationContext{});
            writer.StartNode(L"Korvant", L"");
            writer.StartNode(L"Common", L"");
            writer.StartNode(L"V", value);
            writer.WriteAttribute(L"a", value);
            writer.EndNode();
            writer.EndNode();
            writer.EndNode();
        }
        auto log = std::make_shared<std::vector<std::wstring>>();
        SaxReader reader(XmlSource{text}, MigrationContext{});
        reader.RegisterImporter(L"Korvant/Common",
                                std::make_shared<KvTest::RecordingImporter>(L"C", log));
        reader.Resume();
        ASSERT_EQ(log->size(), 6u);
        EXPECT_EQ((*log)[1], L"C: StartNode(V a=" + value + L")");
        EXPECT_EQ((*log)[2], L"C: Value(" + value + L")");
    }
}

// Keeps what a section delivers without copying it into a log line.
class CapturingImporter : public IImporter {
public:
    void BeginImport(const MigrationContext&, const Attributes&) override {}
    void StartNode(const std::wstring& name, const Attributes& attributes) override {
        names.push_back(name);
        this->attributes = attributes;
    }
    void Value(const std::wstring& text) override { value = text; }
    void EndNode(const std::wstring&) override {}
    void EndImport() override { ended = true; }

    std::vector<std::wstring> names;
    Attributes attributes;
    std::wstring value;
    bool ended = false;
};

// About `bytes` of UTF-8 with every character class the writer treats apart.
std::wstring LargeValue(size_t bytes) {
    const std::wstring piece = L"QUJDRA+/= <&>\"'\n\t\r\x0416\x20AC\U0001F600";
    const size_t pieceBytes = Platform::WideToUtf8(piece).size();
    std::wstring value;
    value.reserve(bytes / pieceBytes * piece.size() + piece.size());
    while (value.size() / piece.size() * pieceBytes < bytes) {
        value += piece;
    }
    return value;
}

TEST(SaxWriter, ValuesOfTwelveMegabytesComeBackFromAFileUnchanged) {
    KvTest::ScopedTempDir dir;
    std::wstring name = Platform::Utf8ToWide(dir.File("large.xml"));
    const std::wstring value = LargeValue(12 * 1000 * 1000);
    const std::wstring text = LargeValue(12 * 1000 * 1000 + 7);
    {
        SaxWriter writer(name, MigrationContext{});
        writer.StartNode(L"Korvant", L"");
        writer.StartNode(L"ICheck", L"");
        writer.StartNode(L"Body", text);
        writer.WriteAttribute(L"data", value);
        writer.EndNode();
        writer.EndNode();
        writer.EndNode();
    }
    auto importer = std::make_shared<CapturingImporter>();
    SaxReader reader(name, MigrationContext{});
    reader.RegisterImporter(L"Korvant/ICheck", importer);
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete) << reader.DamagedDocumentError();
    EXPECT_TRUE(importer->ended);
    EXPECT_EQ(importer->names, std::vector<std::wstring>{L"Body"});
    ASSERT_EQ(importer->attributes.size(), 1u);
    EXPECT_EQ(importer->attributes.begin()->first, L"data");
    const std::wstring& readValue = importer->attributes.begin()->second;
    EXPECT_EQ(readValue.size(), value.size());
    EXPECT_TRUE(readValue == value) << "the attribute value differs";
    EXPECT_EQ(importer->value.size(), text.size());
    EXPECT_TRUE(importer->value == text) << "the text differs";
}

}  // namespace
}  // namespace KvMigration
