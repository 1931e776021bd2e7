#include <gtest/gtest.h>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "transform/DevicePolicyDocuments.h"
#include "transform/DevicePolicyTransformer.h"

namespace KvMigration {
namespace {

using namespace KvTest;

constexpr SchemaVersion kBelow82{7, 18};
constexpr SchemaVersion k82{8, 2};
constexpr SchemaVersion k83{8, 3};
constexpr SchemaVersion k84{8, 4};
constexpr SchemaVersion k819{8, 19};

const std::wstring kRutoken = DeviceXml(L"rutoken", L"rutoken ECP");
const std::wstring kAnchorXml = DeviceXml(kAnchor, L"eToken PRO");
const std::wstring kAXml = DeviceXml(kJaCartaSfGost, L"JaCarta SF/ГОСТ");
const std::wstring kR1202Xml = DeviceXml(kReader1202, L"Reader 1202");
const std::wstring kGXml = DeviceXml(kAthenaOld, L"Athena ASEDrive IIIe Bio Combo (old)");
const std::wstring kPrinters = DeviceXml(L"printers", L"Printers", DeviceXml(kReader0004, L"R"));

// usb{cls{<smart cards>}, printers{R0004}}
std::wstring Tree(const std::wstring& smartCards) {
    return InnerXml(
        DeviceXml(L"usb", L"USB", DeviceXml(L"cls", L"Smart cards", smartCards) + kPrinters));
}

const std::wstring kFullTree = Tree(kRutoken + kAnchorXml + kAXml + kR1202Xml + kGXml);

CObjectData PolicyRecord(const std::wstring& value) {
    CObjectData record;
    record.kind = KindPolicy;
    record.id = L"{0F3C}";
    record.attributes[DevicePolicyAttribute] = CValue(value);
    record.attributes[L"name"] = CValue(L"Devices");
    return record;
}

std::wstring TransformValue(const std::wstring& value, SchemaVersion version) {
    CObjectData record = PolicyRecord(value);
    TransformDevicePolicy(record, version);
    EXPECT_EQ(record.attributes[L"name"].text, L"Devices");
    return record.attributes[DevicePolicyAttribute].text;
}

std::wstring DescriptionOf(const DeviceList& nodes, const std::wstring& uniqueName) {
    for (const DeviceNode& node : nodes) {
        auto name = node.attributes.find(L"UniqueName");
        if (name != node.attributes.end() && name->second == uniqueName) {
            return node.attributes.at(L"Description");
        }
        std::wstring inner = DescriptionOf(node.children, uniqueName);
        if (!inner.empty()) {
            return inner;
        }
    }
    return L"";
}

TEST(DevicePolicyTransform, BringsTheDeviceTreeToTheTargetVersion) {
    struct Case {
        const char* name;
        std::wstring inner;
        SchemaVersion version;
        std::wstring shape;
        std::wstring athenaDescription;
    };
    const std::wstring renamed = L"Athena ASEDrive IIIe Bio Combo";
    const std::wstring old = L"Athena ASEDrive IIIe Bio Combo (old)";
    const Case cases[] = {
        {"8.2: JaCarta SF/GOST removed, row B added, the anchor's list sorted", kFullTree, k82,
         L"usb{cls{G, B, anchor, R1202, rutoken}, printers{R0004}}", renamed},
        {"8.4: row A not added again, rows B to F added, both readers removed", kFullTree, k84,
         L"usb{cls{G, B, D, E, anchor, C, A, rutoken, F}, printers}", renamed},
        {"above 8.4 as 8.4", kFullTree, k819,
         L"usb{cls{G, B, D, E, anchor, C, A, rutoken, F}, printers}", renamed},
        {"8.3: rows A and B, no removals", kFullTree, k83,
         L"usb{cls{G, B, anchor, A, R1202, rutoken}, printers{R0004}}", renamed},
        {"below 8.2: row A present, nothing removed, still sorted", kFullTree, kBelow82,
         L"usb{cls{G, anchor, A, R1202, rutoken}, printers{R0004}}", old},
        {"below 8.2: only row A added", Tree(kRutoken + kAnchorXml + kR1202Xml + kGXml), kBelow82,
         L"usb{cls{G, anchor, A, R1202, rutoken}, printers{R0004}}", old},
        {"a device deeper in the tree is not added at the anchor's level",
         Tree(DeviceXml(L"rutoken", L"rutoken ECP", DeviceXml(kJaCartaLt, L"JaCarta LT")) +
              kAnchorXml + kAXml + kR1202Xml + kGXml),
         k84, L"usb{cls{G, B, D, E, anchor, A, rutoken{C}, F}, printers}", renamed},
        {"without the anchor: nothing added or sorted, removals and the description apply",
         Tree(kRutoken + kAXml + kR1202Xml + kGXml), k84, L"usb{cls{rutoken, A, G}, printers}",
         renamed},
        {"the anchor at the top level, its list sorted only",
         InnerXml(kGXml + DeviceXml(L"zeta", L"Zeta") + kAnchorXml), k82, L"G, B, anchor, zeta",
         renamed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring text = TransformValue(OuterXml(c.inner), c.version);
        DevicePolicyData data = CDevicePolicyTransformer::ReadDocument(text);
        EXPECT_EQ(Shape(data.nodes), c.shape);
        EXPECT_EQ(DescriptionOf(data.nodes, kAthenaOld), c.athenaDescription);
        EXPECT_EQ(data.guid, L"{7C5E}");
        EXPECT_EQ(data.revision, L"3");
        EXPECT_EQ(data.policiesType, L"Devices");
        EXPECT_EQ(data.policyType, L"XMLString");
        EXPECT_EQ(data.uniqueName, L"DeviceControl");
        EXPECT_EQ(data.rootPolicyType, L"1");
        EXPECT_EQ(data.rootStorageType, L"0");
    }
}

TEST(DevicePolicyTransform, AddedDevicesCarryTheirTableRowsUnicodeTextsIncluded) {
    std::wstring text = TransformValue(OuterXml(InnerXml(kAnchorXml)), k84);
    DevicePolicyData data = CDevicePolicyTransformer::ReadDocument(text);
    EXPECT_EQ(DescriptionOf(data.nodes, kJaCartaSfGost), L"JaCarta SF/\u0413\u041E\u0421\u0422");
    EXPECT_EQ(DescriptionOf(data.nodes, kIdCard),
              L"\u0418\u0434\u0435\u043D\u0442\u0438\u0444\u0438\u043A\u0430\u0446\u0438\u043E"
              L"\u043D\u043D\u0430\u044F \u043A\u0430\u0440\u0442\u0430");
    const CDevicePolicyTransformer transformer;
    for (const DeviceNode& node : data.nodes) {
        SCOPED_TRACE(Platform::WideToUtf8(node.attributes.at(L"UniqueName")));
        if (node.attributes.at(L"UniqueName") == kAnchor) {
            continue;
        }
        bool inTable = false;
        for (const BuiltInDevice& device : transformer.Devices()) {
            inTable = inTable || node == device.Node();
        }
        EXPECT_TRUE(inTable);
    }
}

TEST(DevicePolicyTransform, LeavesValuesWithoutAnInnerDocumentAsTheyAre) {
    struct Case {
        const char* name;
        std::wstring value;
    };
    const Case cases[] = {
        {"no Policy element", L"<Policies guid=\"g\" revision=\"1\" type=\"Devices\"/>"},
        {"a policy element, not Policy",
         L"<Policies guid=\"g\" revision=\"1\" type=\"Devices\"><policy type=\"t\" "
         L"uniqueName=\"u\" value=\"" +
             EscapeAttribute(InnerXml(kAnchorXml)) + L"\"/></Policies>"},
        {"an empty inner document", OuterXml(L"")},
        {"an inner document without a policy root", OuterXml(L"<Policy PolicyType=\"1\"/>")},
        {"a root other than Policies", L"<Device guid=\"g\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TransformValue(c.value, k84), c.value);
    }
    CObjectData absent;
    absent.attributes[L"name"] = CValue(L"Devices");
    TransformDevicePolicy(absent, k84);
    EXPECT_EQ(absent.attributes.size(), 1u);
    EXPECT_EQ(TransformValue(L"", k84), L"");
    CObjectData list = PolicyRecord(L"");
    list.attributes[DevicePolicyAttribute] = CValue(std::vector<std::wstring>{OuterXml(kFullTree)});
    TransformDevicePolicy(list, k84);
    EXPECT_EQ(list.attributes[DevicePolicyAttribute].texts.at(0), OuterXml(kFullTree));
}

TEST(DevicePolicyTransform, ASecondTransformationChangesNothing) {
    struct Case {
        const char* name;
        std::wstring inner;
    };
    const Case cases[] = {
        {"the full tree", kFullTree},
        {"equal descriptions keep the order the first transformation made",
         InnerXml(kAnchorXml + DeviceXml(L"one", L"Same") + DeviceXml(L"two", L"SAME") +
                  DeviceXml(L"three", L"same") + DeviceXml(L"four", L"JaCarta LT"))},
        {"without the anchor", Tree(kRutoken + kAXml + kR1202Xml + kGXml)},
    };
    for (const Case& c : cases) {
        for (SchemaVersion version : {kBelow82, k82, k83, k84}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(version.major) + "." +
                         std::to_string(version.minor));
            std::wstring once = TransformValue(OuterXml(c.inner), version);
            EXPECT_EQ(TransformValue(once, version), once);
        }
    }
}

}  // namespace
}  // namespace KvMigration
