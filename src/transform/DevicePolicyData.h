#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace KvMigration {

// One `dacsnode` of a device-control policy. A device is a node whose `UniqueName` identifies it.
// Attribute names are ordered by code unit, the order in which they are written back.
struct DeviceNode {
    std::map<std::wstring, std::wstring> attributes;
    std::vector<DeviceNode> children;  // document order

    friend bool operator==(const DeviceNode&, const DeviceNode&) = default;
};
using DeviceList = std::vector<DeviceNode>;

// Where a device was found: the list that holds it and its index there. Valid only until that
// list, or a list above it, changes.
struct DevicePosition {
    DeviceList* list = nullptr;
    size_t index = 0;
};

// An `orvexKVPolicyDevices` value as the readers collect it and the writer writes it: the outer
// document (`Policies` with one `Policy`) and the device tree of the inner one, which that
// `Policy` carries as the text of its `value`.
struct DevicePolicyData {
    std::wstring guid;
    std::wstring revision;
    std::wstring policiesType;     // `type` of `Policies`
    std::wstring policyType;       // `type` of `Policy`
    std::wstring uniqueName;       // `uniqueName` of `Policy`
    std::wstring rootPolicyType;   // `PolicyType` of the inner root `policy`
    std::wstring rootStorageType;  // `StorageType` of the inner root `policy`
    DeviceList nodes;              // the top-level `dacsnode` elements

    // False when no inner document was read: the value is then left as it is.
    bool HasInnerData() const {
        return !rootPolicyType.empty() || !rootStorageType.empty() || !nodes.empty();
    }

    friend bool operator==(const DevicePolicyData&, const DevicePolicyData&) = default;
};

}  // namespace KvMigration
