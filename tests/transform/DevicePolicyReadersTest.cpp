#include <gtest/gtest.h>

#include <memory>

#include "base/KvError.h"
#include "transform/DevicePolicyDocuments.h"
#include "transform/DevicePolicyReaders.h"
#include "transform/DevicePolicyTransformer.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

using namespace KvTest;
using ExReader = CDevicePolicyTransformer::CExDevicePolicyReader;
using InReader = CDevicePolicyTransformer::CInDevicePolicyReader;

TEST(DevicePolicyReaders, ReadAttributeRaisesInvalidParameterNamingItself) {
    const Attributes attributes = {{L"guid", L"{1}"}, {L"Guid", L"{2}"}};
    EXPECT_EQ(CDevicePolicyTransformer::ReadAttribute(attributes, L"guid"), L"{1}");
    try {
        CDevicePolicyTransformer::ReadAttribute(attributes, L"GUID");
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Code(), 87u);
        EXPECT_EQ(*error.FindEntry(L"Function"), L"CDevicePolicyTransformer::ReadAttribute");
    }
}

TEST(DevicePolicyReaders, ReadBothDocumentsIntoTheData) {
    const std::wstring inner =
        L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        L"<policy PolicyType=\"1\" StorageType=\"0\" Extra=\"x\">"
        L"<dacsnode UniqueName=\"usb\" Description=\"USB\">text"
        L"<dacsnode UniqueName=\"a\"/><group><dacsnode UniqueName=\"b\"><dacsnode "
        L"UniqueName=\"c\"/></dacsnode></group></dacsnode><dacsnode UniqueName=\"d\" Z=\"\"/>"
        L"</policy>";
    const std::wstring outer =
        L"<Policies guid=\"{1}\" revision=\"2\" type=\"Devices\" other=\"o\"><Meta/>"
        L"<Policy type=\"XMLString\" uniqueName=\"DeviceControl\" value=\"" +
        EscapeAttribute(inner) + L"\"/></Policies>";
    DevicePolicyData data = CDevicePolicyTransformer::ReadDocument(outer);
    EXPECT_EQ(data.guid, L"{1}");
    EXPECT_EQ(data.revision, L"2");
    EXPECT_EQ(data.policiesType, L"Devices");
    EXPECT_EQ(data.policyType, L"XMLString");
    EXPECT_EQ(data.uniqueName, L"DeviceControl");
    EXPECT_EQ(data.rootPolicyType, L"1");
    EXPECT_EQ(data.rootStorageType, L"0");
    EXPECT_EQ(Shape(data.nodes), L"usb{a, b{c}}, d");
    EXPECT_EQ(data.nodes[0].attributes, (std::map<std::wstring, std::wstring>{
                                            {L"Description", L"USB"}, {L"UniqueName", L"usb"}}));
    EXPECT_EQ(data.nodes[1].attributes,
              (std::map<std::wstring, std::wstring>{{L"UniqueName", L"d"}, {L"Z", L""}}));
}

TEST(DevicePolicyReaders, InnerReaderNestsNodesByTheirElements) {
    struct Case {
        const char* name;
        std::wstring document;
        std::wstring shape;
    };
    const Case cases[] = {
        {"siblings and children",
         InnerXml(DeviceXml(L"a", L"", DeviceXml(L"b", L"")) + DeviceXml(L"c", L"")), L"a{b}, c"},
        {"deep nesting and back",
         InnerXml(DeviceXml(L"a", L"", DeviceXml(L"b", L"", DeviceXml(L"c", L""))) +
                  DeviceXml(L"d", L"")),
         L"a{b{c}}, d"},
        {"many siblings, so the lists grow while nodes are open",
         InnerXml(DeviceXml(L"a", L"",
                            DeviceXml(L"b", L"") + DeviceXml(L"c", L"") + DeviceXml(L"d", L"") +
                                DeviceXml(L"e", L"") + DeviceXml(L"f", L"", DeviceXml(L"g", L""))) +
                  DeviceXml(L"h", L"")),
         L"a{b, c, d, e, f{g}}, h"},
        {"no nodes", InnerXml(L""), L""},
        {"a policy element not at the root is not read",
         L"<x><policy PolicyType=\"1\" StorageType=\"0\">" + DeviceXml(L"a", L"") +
             L"</policy></x>",
         L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = std::make_shared<InReader>();
        SaxReader sax(XmlSource{c.document}, MigrationContext{});
        sax.RegisterImporter(L"policy", reader);
        sax.Resume();
        EXPECT_EQ(sax.Outcome(), ReadOutcome::Complete);
        EXPECT_EQ(Shape(reader->TakeNodes()), c.shape);
    }
}

TEST(DevicePolicyReaders, OuterReaderKeepsAFailureOfTheInnerDocument) {
    ExReader reader;
    reader.BeginImport(MigrationContext{}, {{L"guid", L"g"}, {L"revision", L"1"}, {L"type", L"t"}});
    reader.StartNode(
        L"Policy",
        {{L"type", L"t"}, {L"uniqueName", L"good"}, {L"value", InnerXml(DeviceXml(L"a", L""))}});
    EXPECT_FALSE(reader.InnerFailure());
    EXPECT_NO_THROW(reader.StartNode(
        L"Policy",
        {{L"type", L"t"}, {L"uniqueName", L"bad"}, {L"value", L"<policy StorageType=\"0\"/>"}}));
    EXPECT_TRUE(reader.InnerFailure());
    EXPECT_THROW(reader.StartNode(L"Policy", {{L"type", L"t"}, {L"value", L"<policy/>"}}),
                 KvBase::CKvError);
    EXPECT_EQ(reader.Data().uniqueName, L"good");
    EXPECT_EQ(Shape(reader.Data().nodes), L"a");
}

}  // namespace
}  // namespace KvMigration
