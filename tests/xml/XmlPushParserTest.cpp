#include "xml/XmlPushParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

using Events = std::vector<std::string>;

// Records the events as "<name k=v>", "text", "</name>"; text chunks are joined.
class RecordingSink : public IXmlEventSink {
public:
    void StartElement(const std::wstring& name, const Attributes& attributes) override {
        std::string event = "<" + Platform::WideToUtf8(name);
        for (const auto& [key, value] : attributes) {
            event += " " + Platform::WideToUtf8(key) + "=" + Platform::WideToUtf8(value);
        }
        events.push_back(event + ">");
        inText_ = false;
    }
    void Characters(std::string_view utf8) override {
        if (!inText_) {
            events.emplace_back();
            inText_ = true;
        }
        events.back() += utf8;
    }
    void EndElement(const std::wstring& name) override {
        events.push_back("</" + Platform::WideToUtf8(name) + ">");
        inText_ = false;
    }

    Events events;

private:
    bool inText_ = false;
};

XmlLimits Narrow(size_t valueBytes, size_t markupBytes, size_t nameBytes, int depth) {
    XmlLimits limits;
    limits.valueBytes = valueBytes;
    limits.markupBytes = markupBytes;
    limits.nameBytes = nameBytes;
    limits.depth = depth;
    return limits;
}

struct BoundCase {
    const char* name;
    XmlLimits limits;
    std::string document;
    Events expected;
    std::wstring error = {};  // empty: read to its end
};

// Reads the document both as a file and as text, which feed the parser in different pieces.
void Check(const BoundCase& c) {
    SCOPED_TRACE(c.name);
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("doc.xml"), c.document);
    for (bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "file" : "text");
        std::unique_ptr<XmlPushParser> parser =
            fromFile ? XmlPushParser::OpenFile(Platform::Utf8ToWide(dir.File("doc.xml")), L"Test",
                                               c.limits)
                     : XmlPushParser::FromText(c.document, c.limits);
        RecordingSink sink;
        std::optional<XmlParseError> error = parser->Run(sink, L"Test");
        EXPECT_EQ(sink.events, c.expected);
        EXPECT_EQ(error ? error->message : std::wstring(), c.error);
    }
}

TEST(XmlPushParser, EachBoundAdmitsItsSizeAndStopsTheReadingOneByteBeyond) {
    const XmlLimits value8 = Narrow(8, 1000, 100, 10);
    const XmlLimits name4 = Narrow(100, 1000, 4, 10);
    const XmlLimits depth3 = Narrow(100, 1000, 100, 3);
    const std::vector<BoundCase> cases = {
        {"attribute value at the bound", value8, "<a k=\"12345678\"/>", {"<a k=12345678>", "</a>"}},
        {"attribute value over the bound",
         value8,
         "<r><a k=\"123456789\"/><b/></r>",
         {"<r>"},
         L"Value of attribute \"k\" longer than 8 bytes"},
        {"attribute value counted with its references decoded",
         value8,
         "<a k=\"&amp;&lt;&#65;&#x42;&quot;&#10;\xD0\x96\"/>",
         {"<a k=&<AB\"\n\xD0\x96>", "</a>"}},
        {"text at the bound, tags in between start it anew",
         value8,
         "<a>12345678<b/>12345678</a>",
         {"<a>", "12345678", "<b>", "</b>", "12345678", "</a>"}},
        {"text over the bound across a comment",
         value8,
         "<a>1234<!-- c -->56789</a>",
         {"<a>", "1234"},
         L"Text longer than 8 bytes"},
        {"CDATA is text",
         value8,
         "<a><![CDATA[12345]]>6789</a>",
         {"<a>", "12345"},
         L"Text longer than 8 bytes"},
        {"element name at the bound", name4, "<abcd/>", {"<abcd>", "</abcd>"}},
        {"element name over the bound",
         name4,
         "<r><abcde/></r>",
         {"<r>"},
         L"Name longer than 4 bytes"},
        {"attribute name with its prefix at the bound",
         name4,
         "<a xmlns:p=\"urn:p\" p:bc=\"1\"/>",
         {"<a p:bc=1>", "</a>"}},
        {"attribute name with its prefix over the bound",
         name4,
         "<a xmlns:p=\"urn:p\" p:bcd=\"1\"/>",
         {},
         L"Name longer than 4 bytes"},
        {"depth at the bound, siblings do not add up",
         depth3,
         "<a><b><c/></b><b><c/></b></a>",
         {"<a>", "<b>", "<c>", "</c>", "</b>", "<b>", "<c>", "</c>", "</b>", "</a>"}},
        {"depth over the bound",
         depth3,
         "<a><b><c><d/></c></b></a>",
         {"<a>", "<b>", "<c>"},
         L"Elements nested deeper than 3 levels"},
    };
    for (const BoundCase& c : cases) {
        Check(c);
    }
}

TEST(XmlPushParser, MarkupLimitAdmitsAStartTagOfItsSizeAndStopsAtALongerOne) {
    const XmlLimits limits = Narrow(100000, 1000, 100, 10);
    const std::string head = "<r>\n    ";
    auto tagOf = [](size_t bytes) {
        std::string tag = "<a k=\"\"/>";
        tag.insert(6, bytes - tag.size(), 'v');
        return tag;
    };
    std::string exact = tagOf(1000);
    Check({"a start tag of exactly the limit after indentation",
           limits,
           head + exact + "\n</r>",
           {"<r>", "\n    ", "<a k=" + std::string(991, 'v') + ">", "</a>", "\n", "</r>"}});
    Check(
        {"a start tag one byte longer",
         limits,
         head + tagOf(1001) + "\n</r>",
         {"<r>", "\n    "},
         L"A start tag, comment, processing instruction or CDATA section longer than 1000 bytes"});
    Check(
        {"a comment longer than the limit",
         limits,
         "<r><!--" + std::string(2000, 'c') + "--></r>",
         {"<r>"},
         L"A start tag, comment, processing instruction or CDATA section longer than 1000 bytes"});
    // The parser holds a CDATA section until it sees a ">" in the input; how much of it it
    // delivers before is its own affair.
    RecordingSink sink;
    std::optional<XmlParseError> error =
        XmlPushParser::FromText("<r><![CDATA[" + std::string(2000, 'c') + "]]></r>", limits)
            ->Run(sink, L"Test");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message,
              L"A start tag, comment, processing instruction or CDATA section longer than 1000 "
              L"bytes");
}

TEST(XmlPushParser, TextAndDocumentsFarLongerThanTheMarkupLimitAreStreamed) {
    const XmlLimits limits = Narrow(100000, 1000, 100, 10);
    std::string text(50000, 't');
    Check({"text", limits, "<r>" + text + "</r>", {"<r>", text, "</r>"}});
    std::string document = "<r>";
    Events expected = {"<r>"};
    for (int i = 0; i < 20000; ++i) {
        document += "<e k=\"" + std::to_string(i) + "\">x</e>";
        expected.insert(expected.end(), {"<e k=" + std::to_string(i) + ">", "x", "</e>"});
    }
    expected.push_back("</r>");
    Check({"many small elements", limits, document + "</r>", expected});
}

}  // namespace
}  // namespace KvMigration
