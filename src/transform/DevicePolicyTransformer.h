#pragma once

#include <optional>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"
#include "helper/ObjectData.h"
#include "helper/SchemaVersion.h"
#include "transform/DevicePolicyData.h"

namespace KvMigration {

// The directory attribute that holds a policy's device-control policy.
inline constexpr const wchar_t* DevicePolicyAttribute = L"orvexKVPolicyDevices";

// A device of the built-in table that the update steps add: the four attributes of its own.
struct BuiltInDevice {
    std::wstring vendor;
    std::wstring product;
    std::wstring uniqueName;
    std::wstring description;

    // The node as it is added: the twelve attributes every added device starts from, and these.
    DeviceNode Node() const;
};

// Rows of the built-in device table, in table order.
enum class DeviceRow {
    JaCartaSfGost,
    AthenaBioComboCcid,
    JaCartaLt,
    EsmartTokenAcs,
    EsmartTokenMicron,
    IdentificationCard,
};

// One change a target product version asks of a device tree.
struct DeviceUpdate {
    enum class Action {
        // Inserts `device` right after the anchor device, unless a device of its `UniqueName` is
        // anywhere in the tree; without an anchor nothing is added.
        Add,
        // Erases the device `uniqueName` (with its children) where found.
        Remove,
        // Sets the `Description` of the device `uniqueName` where found, creating it if missing.
        SetDescription,
    };
    Action action = Action::Add;
    std::wstring uniqueName;
    DeviceNode device;         // Add only
    std::wstring description;  // SetDescription only

    friend bool operator==(const DeviceUpdate&, const DeviceUpdate&) = default;
};

// Brings the device tree of a policy's `orvexKVPolicyDevices` up to the device list that the
// target storage's product version expects, and writes the value anew.
class CDevicePolicyTransformer {
public:
    class CExDevicePolicyReader;
    class CInDevicePolicyReader;
    class CDevicePolicyWriter;

    // New devices go right after this one, and its list is the one sorted by description.
    static constexpr const wchar_t* AnchorDevice = L"Bus_1Cl_04eaVid_0529Pid_0620";

    CDevicePolicyTransformer();

    // Replaces the record's `orvexKVPolicyDevices` with the rewritten document. An absent, empty
    // or multi-valued attribute, and a value without an inner document (no `Policy` element read,
    // or one whose inner document has no `policy` root), are left as they are. Every failure is
    // raised with the attribute unchanged: a required attribute missing on `Policies` or on the
    // inner root `policy`, a damaged outer or inner document, a device the update steps walk
    // without `UniqueName`, a name the writer refuses.
    void Transform(CObjectData& record, SchemaVersion serverVersion) const;
    // The rewritten text of one value; nullopt when it is to be left as it is.
    std::optional<std::wstring> TransformText(const std::wstring& text,
                                              SchemaVersion serverVersion) const;

    const std::vector<BuiltInDevice>& Devices() const { return devices_; }
    const BuiltInDevice& Device(DeviceRow row) const;
    // In the order they are applied; sorting the anchor's list always follows them.
    std::vector<DeviceUpdate> UpdateSteps(SchemaVersion serverVersion) const;

    // Reads an outer document with its inner one. Raises as Transform does; the data of a value
    // without a `Policy` element have no inner data.
    static DevicePolicyData ReadDocument(const std::wstring& text);
    // Raises code 87 naming "CDevicePolicyTransformer::ReadAttribute" when `name` is missing.
    static const std::wstring& ReadAttribute(const Attributes& attributes,
                                             const std::wstring& name);

private:
    std::vector<BuiltInDevice> devices_;  // in DeviceRow order
};

// The device policy processing of one policy record for the server product version of the
// target storage (see CDevicePolicyTransformer::Transform).
void TransformDevicePolicy(CObjectData& record, SchemaVersion serverVersion);

}  // namespace KvMigration
