#include <gtest/gtest.h>

#include <optional>

#include "base/KvError.h"
#include "support/TraceCapture.h"
#include "transform/DevicePolicyDocuments.h"
#include "transform/DevicePolicyTransformer.h"

namespace KvMigration {
namespace {

using namespace KvTest;

constexpr SchemaVersion k84{8, 4};

struct Failure {
    uint32_t code = 0;
    std::wstring function;
    std::wstring description;
};

// The failure the processing raised, with the attribute checked to be left as it was; nullopt
// when it raised nothing.
std::optional<Failure> FailureOf(const std::wstring& value, SchemaVersion version = k84) {
    CObjectData record;
    record.attributes[DevicePolicyAttribute] = CValue(value);
    try {
        TransformDevicePolicy(record, version);
    } catch (const KvBase::CKvError& error) {
        EXPECT_EQ(record.attributes[DevicePolicyAttribute].text, value);
        const std::wstring* function = error.FindEntry(L"Function");
        return Failure{error.Code(), function ? *function : L"", error.Description()};
    }
    return std::nullopt;
}

const std::wstring kAnchorXml = DeviceXml(kAnchor, L"eToken PRO");

TEST(DevicePolicyFailure, ARequiredRootAttributeMissingLeavesTheProcessing) {
    struct Case {
        const char* name;
        std::wstring value;
    };
    const std::wstring policy = L"<Policy type=\"t\" uniqueName=\"u\" value=\"" +
                                EscapeAttribute(InnerXml(kAnchorXml)) + L"\"/>";
    const Case cases[] = {
        {"Policies without guid",
         L"<Policies revision=\"1\" type=\"Devices\">" + policy + L"</Policies>"},
        {"Policies without revision",
         L"<Policies guid=\"g\" type=\"Devices\">" + policy + L"</Policies>"},
        {"Policies without type",
         L"<Policies guid=\"g\" revision=\"1\">" + policy + L"</Policies>"},
        {"policy without PolicyType",
         OuterXml(L"<policy StorageType=\"0\">" + kAnchorXml + L"</policy>")},
        {"policy without StorageType",
         OuterXml(L"<policy PolicyType=\"1\">" + kAnchorXml + L"</policy>")},
        {"a good Policy before one whose policy lacks StorageType",
         L"<Policies guid=\"g\" revision=\"1\" type=\"Devices\">" + policy +
             L"<Policy type=\"t\" uniqueName=\"u\" value=\"&lt;policy "
             L"PolicyType=&quot;1&quot;/>\"/>"
             L"</Policies>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Failure> failure = FailureOf(c.value);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->code, 87u);
        EXPECT_EQ(failure->function, L"CDevicePolicyTransformer::ReadAttribute");
        EXPECT_EQ(failure->description, L"The parameter is incorrect.");
    }
}

TEST(DevicePolicyFailure, APolicyMissingAnAttributeIsLeftOut) {
    struct Case {
        const char* name;
        std::wstring policies;
        bool rewritten;
        std::wstring uniqueName;  // of the Policy that counts
    };
    const std::wstring value = EscapeAttribute(InnerXml(kAnchorXml));
    const std::wstring good = L"<Policy type=\"t\" uniqueName=\"good\" value=\"" + value + L"\"/>";
    const std::wstring later =
        L"<Policy type=\"t\" uniqueName=\"later\" value=\"" + value + L"\"/>";
    const Case cases[] = {
        {"without type", L"<Policy uniqueName=\"u\" value=\"" + value + L"\"/>", false, L""},
        {"without uniqueName", L"<Policy type=\"t\" value=\"" + value + L"\"/>", false, L""},
        {"without value", L"<Policy type=\"t\" uniqueName=\"u\"/>", false, L""},
        {"without value after a good one", good + L"<Policy type=\"x\" uniqueName=\"u\"/>", true,
         L"good"},
        {"the last good one counts", good + later, true, L"later"},
        {"a Policy anywhere below the root counts", L"<Group>" + good + L"</Group>", true, L"good"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring text =
            L"<Policies guid=\"g\" revision=\"1\" type=\"Devices\">" + c.policies + L"</Policies>";
        CObjectData record;
        record.attributes[DevicePolicyAttribute] = CValue(text);
        TransformDevicePolicy(record, k84);
        const std::wstring& result = record.attributes[DevicePolicyAttribute].text;
        EXPECT_EQ(result != text, c.rewritten);
        if (c.rewritten) {
            EXPECT_EQ(CDevicePolicyTransformer::ReadDocument(result).uniqueName, c.uniqueName);
        }
    }
}

TEST(DevicePolicyFailure, ADeviceWithoutUniqueNameOnAWalkedListLeavesTheProcessing) {
    struct Case {
        const char* name;
        std::wstring nodes;
        SchemaVersion version;
        bool fails;
    };
    const std::wstring nameless = L"<dacsnode Description=\"No name\"/>";
    const Case cases[] = {
        {"before the anchor", nameless + kAnchorXml, k84, true},
        {"as a child", DeviceXml(L"usb", L"USB", nameless) + kAnchorXml, k84, true},
        {"after the anchor, walked in search of devices that are missing", kAnchorXml + nameless,
         k84, true},
        {"after every device the steps look for, never walked",
         DeviceXml(kJaCartaSfGost, L"JaCarta") + kAnchorXml + nameless,
         {7, 18},
         false},
        {"below the anchor, never walked",
         DeviceXml(kJaCartaSfGost, L"JaCarta") + DeviceXml(kAnchor, L"eToken PRO", nameless),
         {7, 18},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Failure> failure = FailureOf(OuterXml(InnerXml(c.nodes)), c.version);
        ASSERT_EQ(failure.has_value(), c.fails);
        if (failure) {
            EXPECT_EQ(failure->code, 87u);
            EXPECT_EQ(failure->function,
                      L"CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice");
        }
    }
}

// The sort may move a node without `UniqueName` in front of a device that the first search
// stopped at; a second transformation then meets it and fails, keeping the first one's text.
TEST(DevicePolicyFailure, ASecondTransformationMayMeetANodeWithoutUniqueNameTheFirstNeverWalked) {
    const std::wstring value =
        OuterXml(InnerXml(DeviceXml(kJaCartaSfGost, L"JaCarta") + kAnchorXml +
                          L"<dacsnode Description=\"A first\"/>"));
    CObjectData record;
    record.attributes[DevicePolicyAttribute] = CValue(value);
    TransformDevicePolicy(record, {7, 18});
    const std::wstring once = record.attributes[DevicePolicyAttribute].text;
    EXPECT_EQ(Shape(CDevicePolicyTransformer::ReadDocument(once).nodes), L"?, anchor, A");
    std::optional<Failure> failure = FailureOf(once, {7, 18});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->function, L"CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice");
}

TEST(DevicePolicyFailure, ANameTheWriterRefusesFailsWithTheWritersError) {
    struct Case {
        const char* name;
        std::wstring nodes;
        std::wstring description;
    };
    const Case cases[] = {
        {"a prefixed attribute",
         L"<dacsnode xmlns:p=\"urn:p\" p:Slot=\"1\" UniqueName=\"usb\"/>" + kAnchorXml,
         L"The attribute name \"p:Slot\" contains \":\", which a reader takes for a namespace "
         L"prefix."},
        {"an attribute beginning with xml, on a node deep in the tree",
         DeviceXml(L"usb", L"USB", L"<dacsnode xmlSlot=\"1\" UniqueName=\"x\"/>") + kAnchorXml,
         L"The attribute name \"xmlSlot\" begins with \"xml\", which XML reserves."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Failure> failure = FailureOf(OuterXml(InnerXml(c.nodes)));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->function, L"SaxWriter::WriteAttribute");
        EXPECT_EQ(failure->description, c.description);
    }
}

TEST(DevicePolicyFailure, ADamagedDocumentLeavesTheProcessing) {
    struct Case {
        const char* name;
        std::wstring value;
        std::wstring function;
        std::wstring descriptionStart;
    };
    const Case cases[] = {
        {"the outer document",
         L"<Policies guid=\"g\" revision=\"1\" type=\"Devices\"><Policy type=\"t\" "
         L"uniqueName=\"u\" value=\"" +
             EscapeAttribute(InnerXml(kAnchorXml)) + L"\"/>",
         L"CDevicePolicyTransformer::ReadDocument",
         L"orvexKVPolicyDevices: The XML document is damaged at line 1"},
        {"the inner document",
         OuterXml(L"<policy PolicyType=\"1\" StorageType=\"0\">\n" + kAnchorXml),
         L"CDevicePolicyTransformer::CExDevicePolicyReader::StartNode",
         L"The device policy in the value of a Policy element: The XML document is damaged at "
         L"line 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Failure> failure = FailureOf(c.value);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->function, c.function);
        EXPECT_EQ(failure->description.substr(0, c.descriptionStart.size()), c.descriptionStart);
    }
}

}  // namespace
}  // namespace KvMigration
