#pragma once

#include <optional>
#include <string>
#include <vector>

#include "transform/DevicePolicyData.h"
#include "transform/DevicePolicyTransformer.h"

namespace KvMigration {

// Applies the update steps of one target version to a device tree and writes both documents.
class CDevicePolicyTransformer::CDevicePolicyWriter {
public:
    explicit CDevicePolicyWriter(std::vector<DeviceUpdate> steps);

    // The text of the outer document, the update steps applied to the data's tree. A name or
    // value the XML writer refuses raises its error; nothing of the document is returned then.
    std::wstring Write(DevicePolicyData data) const;

    // The steps in order, then the sort of the anchor device's list.
    void ApplyUpdates(DeviceList& nodes) const;

    // Depth-first in document order, a node's children before its next sibling; the first match
    // wins. Raises code 87 naming "CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice" at
    // the first node it walks without `UniqueName`.
    static std::optional<DevicePosition> FindDevice(DeviceList& nodes,
                                                    const std::wstring& uniqueName);
    // Ascending by `Description` (empty when missing), ASCII letters compared without regard to
    // case and every other character by its UTF-16 code units. Nodes with equal keys keep their
    // order, so that sorting a sorted list changes nothing.
    static void SortByDescription(DeviceList& nodes);

    // The inner document: the XML declaration, a line break, `policy` with its tree.
    static std::wstring WriteInner(const DevicePolicyData& data);
    // The outer document carrying `innerText` as the `value` of its `Policy`.
    static std::wstring WriteOuter(const DevicePolicyData& data, const std::wstring& innerText);

private:
    void Apply(DeviceList& nodes, const DeviceUpdate& step) const;

    std::vector<DeviceUpdate> steps_;
};

}  // namespace KvMigration
