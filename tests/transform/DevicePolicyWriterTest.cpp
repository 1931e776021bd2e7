#include <gtest/gtest.h>

#include <optional>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "transform/DevicePolicyDocuments.h"
#include "transform/DevicePolicyTransformer.h"
#include "transform/DevicePolicyWriter.h"

namespace KvMigration {
namespace {

using namespace KvTest;
using Writer = CDevicePolicyTransformer::CDevicePolicyWriter;

DeviceNode Node(const std::wstring& uniqueName, DeviceList children = {}) {
    return DeviceNode{{{L"UniqueName", uniqueName}}, std::move(children)};
}

// usb{readers{x, dup}, dup, y{z}}, the first dup a child
DeviceList SearchTree() {
    return {Node(L"usb", {Node(L"readers", {Node(L"x"), Node(L"dup")}), Node(L"dup")}),
            Node(L"dup"), Node(L"y", {Node(L"z")})};
}

TEST(DevicePolicyWriter, FindDeviceSearchesDepthFirstInDocumentOrder) {
    struct Case {
        const char* name;
        std::wstring uniqueName;
        std::wstring listShape;  // the list that holds the device; empty when not found
        size_t index;
    };
    const Case cases[] = {
        {"a top-level device", L"usb", L"usb{readers{x, dup}, dup}, dup, y{z}", 0},
        {"a grandchild", L"x", L"x, dup", 0},
        {"the first of equal names in depth-first order: a grandchild", L"dup", L"x, dup", 1},
        {"a child of a later top-level device", L"z", L"z", 0},
        {"a later top-level device", L"y", L"usb{readers{x, dup}, dup}, dup, y{z}", 2},
        {"names compare exactly", L"USB", L"", 0},
        {"missing", L"w", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceList tree = SearchTree();
        std::optional<DevicePosition> found = Writer::FindDevice(tree, c.uniqueName);
        if (c.listShape.empty()) {
            EXPECT_FALSE(found);
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(Shape(*found->list), c.listShape);
        EXPECT_EQ(found->index, c.index);
        EXPECT_EQ((*found->list)[found->index].attributes.at(L"UniqueName"), c.uniqueName);
    }
}

TEST(DevicePolicyWriter, FindDeviceRaisesAtTheFirstNodeWithoutUniqueNameItWalks) {
    DeviceList tree = {Node(L"a"), DeviceNode{{{L"Description", L"no name"}}, {Node(L"b")}}};
    EXPECT_TRUE(Writer::FindDevice(tree, L"a"));
    try {
        Writer::FindDevice(tree, L"b");
        FAIL() << "no error";
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(error.Code(), 87u);
        EXPECT_EQ(*error.FindEntry(L"Function"),
                  L"CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice");
    }
}

TEST(DevicePolicyWriter, SortsByDescriptionWithAsciiLettersUppercased) {
    struct Case {
        const char* name;
        std::vector<std::optional<std::wstring>> descriptions;  // nodes named by their index
        std::wstring order;
    };
    const Case cases[] = {
        {"ASCII letters without regard to case",
         {L"beta", L"Alpha", L"ALPHA2", L"gamma"},
         L"1, 2, 0, 3"},
        {"equal keys keep their order", {L"same", L"x", L"SAME", L"Same", L"a"}, L"4, 0, 2, 3, 1"},
        {"a lower-case letter compares as upper case, below '_'", {L"_x", L"a", L"B"}, L"1, 2, 0"},
        {"Cyrillic after ASCII, by code unit, not uppercased",
         {L"Идентификационная карта", L"JaCarta SF/ГОСТ", L"Жетон", L"ГОСТ", L"а", L"Б"},
         L"1, 5, 3, 2, 0, 4"},
        {"a missing description as an empty one", {L"a", std::nullopt, L"\x01"}, L"1, 2, 0"},
        {"characters above U+FFFF before U+E000 to U+FFFF, as UTF-16 orders them",
         {L"\uFF21", L"\U0001F600", L"\uD7FF"},
         L"2, 1, 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceList nodes;
        for (size_t index = 0; index < c.descriptions.size(); ++index) {
            nodes.push_back(Node(std::to_wstring(index)));
            if (c.descriptions[index]) {
                nodes.back().attributes[L"Description"] = *c.descriptions[index];
            }
        }
        Writer::SortByDescription(nodes);
        EXPECT_EQ(Shape(nodes), c.order);
    }
}

TEST(DevicePolicyWriter, WritesBothDocumentsExactly) {
    DevicePolicyData data;
    data.guid = L"{7C5E}";
    data.revision = L"3";
    data.policiesType = L"Devices";
    data.policyType = L"XMLString";
    data.uniqueName = L"DeviceControl";
    data.rootPolicyType = L"1";
    data.rootStorageType = L"0";
    data.nodes = {DeviceNode{{{L"UniqueName", L"usb"}, {L"Description", L"USB & co"}},
                             {DeviceNode{{{L"UniqueName", kAnchor}}, {}}}}};
    const std::wstring inner = Writer::WriteInner(data);
    EXPECT_EQ(inner,
              L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              L"<policy PolicyType=\"1\" StorageType=\"0\">\n"
              L"  <dacsnode Description=\"USB &amp; co\" UniqueName=\"usb\">\n"
              L"    <dacsnode UniqueName=\"Bus_1Cl_04eaVid_0529Pid_0620\"/>\n"
              L"  </dacsnode>\n"
              L"</policy>");
    EXPECT_EQ(Writer::WriteOuter(data, inner),
              L"<Policies guid=\"{7C5E}\" revision=\"3\" type=\"Devices\">\n"
              L"  <Policy type=\"XMLString\" uniqueName=\"DeviceControl\" value=\""
              L"&lt;?xml version=&quot;1.0&quot; encoding=&quot;utf-8&quot;?&gt;&#10;"
              L"&lt;policy PolicyType=&quot;1&quot; StorageType=&quot;0&quot;&gt;&#10;"
              L"  &lt;dacsnode Description=&quot;USB &amp;amp; co&quot; "
              L"UniqueName=&quot;usb&quot;&gt;&#10;"
              L"    &lt;dacsnode UniqueName=&quot;Bus_1Cl_04eaVid_0529Pid_0620&quot;/&gt;&#10;"
              L"  &lt;/dacsnode&gt;&#10;"
              L"&lt;/policy&gt;\"/>\n"
              L"</Policies>");
}

TEST(DevicePolicyWriter, TransformationWritesTheAddedDeviceAfterTheAnchor) {
    const std::wstring value = OuterXml(InnerXml(DeviceXml(kAnchor, L"eToken PRO")));
    CObjectData record;
    record.attributes[DevicePolicyAttribute] = CValue(value);
    TransformDevicePolicy(record, SchemaVersion{7, 18});
    const std::wstring inner =
        L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        L"<policy PolicyType=\"1\" StorageType=\"0\">\n"
        L"  <dacsnode Description=\"eToken PRO\" UniqueName=\"Bus_1Cl_04eaVid_0529Pid_0620\"/>\n"
        L"  <dacsnode Bus=\"1\" Defined=\"0\" Description=\"JaCarta SF/ГОСТ\" DeviceClass=\"1258\" "
        L"DeviceControl=\"0\" Enumerator=\"0\" Flags=\"0x123\" Inheritance=\"0\" "
        L"Manufacturer=\"\" Present=\"1\" Product=\"1030\" SD=\"\" SerialNumber=\"\" Type=\"2\" "
        L"UniqueName=\"Bus_1Cl_04eaVid_24dcPid_0406\" Vendor=\"9436\"/>\n"
        L"</policy>";
    EXPECT_EQ(record.attributes[DevicePolicyAttribute].text,
              L"<Policies guid=\"{7C5E}\" revision=\"3\" type=\"Devices\">\n"
              L"  <Policy type=\"XMLString\" uniqueName=\"DeviceControl\" value=\"" +
                  EscapeAttribute(inner) + L"\"/>\n</Policies>");
}

TEST(DevicePolicyWriter, WritesAttributesInOrdinalOrderWhateverTheirOrderInTheInput) {
    const std::wstring value = OuterXml(
        InnerXml(L"<dacsnode Vendor=\"1\" UniqueName=\"" + kAnchor +
                 L"\" Type=\"2\" Description=\"d\" Bus=\"1\" DeviceClass=\"1258\" Defined=\"0\" "
                 L"SD=\"\" SerialNumber=\"s\" b=\"x\" _=\"y\"/>"));
    CObjectData record;
    record.attributes[DevicePolicyAttribute] = CValue(value);
    TransformDevicePolicy(record, SchemaVersion{8, 2});
    const std::wstring& text = record.attributes[DevicePolicyAttribute].text;
    EXPECT_NE(
        text.find(L"&lt;dacsnode Bus=&quot;1&quot; Defined=&quot;0&quot; "
                  L"Description=&quot;d&quot; DeviceClass=&quot;1258&quot; "
                  L"SD=&quot;&quot; SerialNumber=&quot;s&quot; Type=&quot;2&quot; "
                  L"UniqueName=&quot;" +
                  kAnchor + L"&quot; Vendor=&quot;1&quot; _=&quot;y&quot; b=&quot;x&quot;/&gt;"),
        std::wstring::npos)
        << Platform::WideToUtf8(text);
}

}  // namespace
}  // namespace KvMigration
