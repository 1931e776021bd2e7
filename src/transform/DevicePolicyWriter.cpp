#include "transform/DevicePolicyWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "base/KvError.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
const std::wstring kUniqueName = L"UniqueName";
const std::wstring kDescription = L"Description";
const std::wstring kDeclaration = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// The product compares descriptions after the C library's toupper, which changes ASCII letters
// only; calling toupper itself with a character beyond a byte is undefined. The rest compares by
// UTF-16 code units, as the product's strings hold them: wchar_t holds code points, whose order
// differs in one place, the characters above U+FFFF (surrogate pairs, 0xD800 on) sorting before
// U+E000..U+FFFF.
uint32_t SortUnit(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    if (code >= 'a' && code <= 'z') {
        return code - ('a' - 'A');
    }
    if (code >= 0xE000 && code <= 0xFFFF) {
        return code + 0x110000;
    }
    return code;
}

bool DescriptionLess(const std::wstring& left, const std::wstring& right) {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(),
        [](wchar_t a, wchar_t b) { return SortUnit(a) < SortUnit(b); });
}

const std::wstring& DescriptionOf(const DeviceNode& node) {
    static const std::wstring none;
    auto found = node.attributes.find(kDescription);
    return found == node.attributes.end() ? none : found->second;
}

void WriteNodes(SaxWriter& writer, const DeviceList& nodes) {
    for (const DeviceNode& node : nodes) {
        writer.StartNode(L"dacsnode", L"");
        for (const auto& [name, value] : node.attributes) {
            writer.WriteAttribute(name, value);
        }
        WriteNodes(writer, node.children);
        writer.EndNode();
    }
}

}  // namespace

CDevicePolicyTransformer::CDevicePolicyWriter::CDevicePolicyWriter(std::vector<DeviceUpdate> steps)
    : steps_(std::move(steps)) {}

std::wstring CDevicePolicyTransformer::CDevicePolicyWriter::Write(DevicePolicyData data) const {
    ApplyUpdates(data.nodes);
    return WriteOuter(data, WriteInner(data));
}

void CDevicePolicyTransformer::CDevicePolicyWriter::ApplyUpdates(DeviceList& nodes) const {
    for (const DeviceUpdate& step : steps_) {
        Apply(nodes, step);
    }
    if (std::optional<DevicePosition> anchor = FindDevice(nodes, AnchorDevice)) {
        SortByDescription(*anchor->list);
    }
}

void CDevicePolicyTransformer::CDevicePolicyWriter::Apply(DeviceList& nodes,
                                                          const DeviceUpdate& step) const {
    switch (step.action) {
        case DeviceUpdate::Action::Add: {
            if (FindDevice(nodes, step.uniqueName)) {
                return;
            }
            if (std::optional<DevicePosition> anchor = FindDevice(nodes, AnchorDevice)) {
                DeviceList& list = *anchor->list;
                list.insert(list.begin() + static_cast<std::ptrdiff_t>(anchor->index) + 1,
                            step.device);
            }
            return;
        }
        case DeviceUpdate::Action::Remove:
            if (std::optional<DevicePosition> found = FindDevice(nodes, step.uniqueName)) {
                found->list->erase(found->list->begin() +
                                   static_cast<std::ptrdiff_t>(found->index));
            }
            return;
        case DeviceUpdate::Action::SetDescription:
            if (std::optional<DevicePosition> found = FindDevice(nodes, step.uniqueName)) {
                (*found->list)[found->index].attributes[kDescription] = step.description;
            }
            return;
    }
}

std::optional<DevicePosition> CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice(
    DeviceList& nodes, const std::wstring& uniqueName) {
    for (size_t index = 0; index < nodes.size(); ++index) {
        DeviceNode& node = nodes[index];
        auto name = node.attributes.find(kUniqueName);
        if (name == node.attributes.end()) {
            KV_RAISE_ERROR_CODE(L"CDevicePolicyTransformer::CDevicePolicyWriter::FindDevice",
                                kErrorInvalidParameter);
        }
        if (name->second == uniqueName) {
            return DevicePosition{&nodes, index};
        }
        if (std::optional<DevicePosition> inner = FindDevice(node.children, uniqueName)) {
            return inner;
        }
    }
    return std::nullopt;
}

void CDevicePolicyTransformer::CDevicePolicyWriter::SortByDescription(DeviceList& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const DeviceNode& left, const DeviceNode& right) {
                         return DescriptionLess(DescriptionOf(left), DescriptionOf(right));
                     });
}

std::wstring CDevicePolicyTransformer::CDevicePolicyWriter::WriteInner(
    const DevicePolicyData& data) {
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(L"policy", L"");
        writer.WriteAttribute(L"PolicyType", data.rootPolicyType);
        writer.WriteAttribute(L"StorageType", data.rootStorageType);
        WriteNodes(writer, data.nodes);
        writer.EndNode();
    }
    return kDeclaration + text;
}

std::wstring CDevicePolicyTransformer::CDevicePolicyWriter::WriteOuter(
    const DevicePolicyData& data, const std::wstring& innerText) {
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(L"Policies", L"");
        writer.WriteAttribute(L"guid", data.guid);
        writer.WriteAttribute(L"revision", data.revision);
        writer.WriteAttribute(L"type", data.policiesType);
        writer.StartNode(L"Policy", L"");
        writer.WriteAttribute(L"type", data.policyType);
        writer.WriteAttribute(L"uniqueName", data.uniqueName);
        writer.WriteAttribute(L"value", innerText);
        writer.EndNode();
        writer.EndNode();
    }
    return text;
}

}  // namespace KvMigration
