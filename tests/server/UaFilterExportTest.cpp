#include <gtest/gtest.h>

#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "server/UaFilterExport.h"
#include "support/RecordingImporter.h"
#include "support/ScopedTempDir.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

// Records what an exporter writes into its section.
class RecordingWriter : public ISaxWriter {
public:
    void StartNode(const std::wstring& name, const std::wstring& value) override {
        events.push_back(L"start " + name + L" " + value);
    }
    void WriteAttribute(const std::wstring& name, const std::wstring& value) override {
        events.push_back(L"attribute " + name + L" " + value);
    }
    std::wstring EndNode() override {
        events.push_back(L"end");
        return L"x";
    }
    std::vector<std::wstring> events;
};

class UaFilterExportTest : public testing::Test {
protected:
    std::vector<std::wstring> Export(const std::string& filter) {
        const std::string path = folder_.File("ServerConfig.xml");
        KvTest::WriteFile(path,
                          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ServerConfiguration>"
                          "<Properties><Other/><ServerSessionSettings>" +
                              filter +
                              "</ServerSessionSettings></Properties></ServerConfiguration>");
        auto writer = std::make_shared<RecordingWriter>();
        SaveUaFilter(writer, Platform::Utf8ToWide(path));
        return writer->events;
    }

    KvTest::ScopedTempDir folder_;
};

TEST_F(UaFilterExportTest, CopiesTheFilterAsIndentedText) {
    struct Case {
        const char* name;
        std::string filter;
        std::wstring text;
    };
    const Case cases[] = {
        {"the example: an attribute and one empty child",
         "<UAFilter Mode=\"1\"><Host ip=\"10.0.0.5\"/></UAFilter>",
         L"<UAFilter Mode=\"1\">\n\t\t<Host ip=\"10.0.0.5\"/>\n\t</UAFilter>\n"},
        {"no children", "<UAFilter/>", L"<UAFilter>\n\t</UAFilter>\n"},
        {"a child with children, a child with text, attributes in name order",
         "<UAFilter b=\"2\" a=\"1\">\n  <Hosts z=\"9\" y=\"8\">\n    <Host>h1</Host>\n"
         "    <Host ip=\"10.0.0.6\"></Host>\n  </Hosts>\n  <Ports><Port>80</Port></Ports>\n"
         "</UAFilter>",
         L"<UAFilter a=\"1\" b=\"2\">\n\t\t<Hosts y=\"8\" z=\"9\">\n\t\t\t<Host>h1</Host>\n"
         L"\t\t\t<Host ip=\"10.0.0.6\"/>\n\t\t</Hosts>\n\t\t<Ports>\n\t\t\t<Port>80</Port>\n"
         L"\t\t</Ports>\n\t</UAFilter>\n"},
        {"special characters stay escaped",
         "<UAFilter n=\"a&amp;b&quot;c&lt;\"><Rule>x &lt; y &amp; z</Rule></UAFilter>",
         L"<UAFilter n=\"a&amp;b&quot;c&lt;\">\n\t\t<Rule>x &lt; y &amp; z</Rule>\n"
         L"\t</UAFilter>\n"},
        {"line feeds, carriage returns and tabs in attribute values, carriage returns in text, "
         "as references",
         "<UAFilter n=\"a&#10;b&#13;c&#9;d\"><Rule k=\"&#9;\">x&#13;y&#10;z&#9;</Rule></UAFilter>",
         L"<UAFilter n=\"a&#10;b&#13;c&#9;d\">\n\t\t<Rule k=\"&#9;\">x&#13;y\nz\t</Rule>\n"
         L"\t</UAFilter>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Export(c.filter),
                  (std::vector<std::wstring>{L"start orvexKVOMSUAFilter " + c.text, L"end"}));
    }
}

TEST_F(UaFilterExportTest, ValuesWithLineBreaksAndTabsSurviveAnotherReading) {
    // The raw tab in `k` is a blank already to the first reader; the references are not.
    const std::vector<std::wstring> written = Export(
        "<UAFilter n=\"a&#10;b&#13;c&#9;d\"><Rule k=\"&#13;&#10;\tx\">"
        "x&#13;y&#10;z&#9;</Rule></UAFilter>");
    ASSERT_EQ(written.size(), 2u);
    const std::wstring prefix = L"start orvexKVOMSUAFilter ";
    ASSERT_EQ(written[0].substr(0, prefix.size()), prefix);

    auto log = std::make_shared<std::vector<std::wstring>>();
    SaxReader reader(XmlSource{written[0].substr(prefix.size())}, MigrationContext{});
    reader.RegisterImporter(L"UAFilter", std::make_shared<KvTest::RecordingImporter>(L"F", log));
    reader.Resume();
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete);
    EXPECT_EQ(*log, (std::vector<std::wstring>{
                        L"F: BeginImport(n=a\nb\rc\td)",
                        L"F: StartNode(Rule k=\r\n x)",
                        L"F: Value(x\ry\nz\t)",
                        L"F: EndNode(Rule)",
                        L"F: EndNode(UAFilter)",
                        L"F: EndImport()",
                    }));
}

TEST_F(UaFilterExportTest, WritesNothingWithoutTheFilterElement) {
    EXPECT_TRUE(Export("<Filter/>").empty());
}

TEST_F(UaFilterExportTest, RaisesForAMissingFile) {
    const std::wstring path = Platform::Utf8ToWide(folder_.File("none/ServerConfig.xml"));
    try {
        SaveUaFilter(std::make_shared<RecordingWriter>(), path);
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Description(), L"File " + path + L" is not found");
    }
}

TEST_F(UaFilterExportTest, RaisesWhenTheFileBreaksOffInsideTheFilter) {
    const std::string path = folder_.File("ServerConfig.xml");
    KvTest::WriteFile(path,
                      "<ServerConfiguration><Properties><ServerSessionSettings><UAFilter><Host");
    auto writer = std::make_shared<RecordingWriter>();
    EXPECT_THROW(SaveUaFilter(writer, Platform::Utf8ToWide(path)), KvBase::CKvError);
    EXPECT_TRUE(writer->events.empty());
}

}  // namespace
}  // namespace KvMigration
