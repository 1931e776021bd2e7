#include "transform/DevicePolicyReaders.h"

#include <memory>
#include <utility>

#include "base/KvError.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

const std::wstring kDeviceNode = L"dacsnode";

struct InnerDocument {
    std::wstring policyType;
    std::wstring storageType;
    DeviceList nodes;
};

InnerDocument ReadInnerDocument(const std::wstring& text) {
    InnerDocument inner;
    // An empty value holds no document, like one without a `policy` root; it is not damaged.
    if (text.empty()) {
        return inner;
    }
    auto reader = std::make_shared<CDevicePolicyTransformer::CInDevicePolicyReader>();
    SaxReader sax(XmlSource{text}, MigrationContext{});
    sax.RegisterImporter(L"policy", reader);
    sax.Resume();
    // The devices read before the damage are not the whole tree; writing them would lose the
    // rest.
    if (sax.Outcome() == ReadOutcome::Damaged) {
        KV_RAISE_ERROR(
            L"CDevicePolicyTransformer::CExDevicePolicyReader::StartNode",
            L"The device policy in the value of a Policy element: " + sax.DamagedDocumentError());
    }
    inner.policyType = reader->PolicyType();
    inner.storageType = reader->StorageType();
    inner.nodes = reader->TakeNodes();
    return inner;
}

}  // namespace

void CDevicePolicyTransformer::CExDevicePolicyReader::BeginImport(const MigrationContext&,
                                                                  const Attributes& attributes) {
    data_.guid = ReadAttribute(attributes, L"guid");
    data_.revision = ReadAttribute(attributes, L"revision");
    data_.policiesType = ReadAttribute(attributes, L"type");
}

void CDevicePolicyTransformer::CExDevicePolicyReader::StartNode(const std::wstring& name,
                                                                const Attributes& attributes) {
    if (name != L"Policy") {
        return;
    }
    // All three are read before anything is taken over, so that a `Policy` missing one leaves
    // the data of an earlier one whole.
    const std::wstring& type = ReadAttribute(attributes, L"type");
    const std::wstring& uniqueName = ReadAttribute(attributes, L"uniqueName");
    const std::wstring& value = ReadAttribute(attributes, L"value");
    InnerDocument inner;
    try {
        inner = ReadInnerDocument(value);
    } catch (...) {  // Raised by the transformer once the outer document is read.
        if (!innerFailure_) {
            innerFailure_ = std::current_exception();
        }
        return;
    }
    data_.policyType = type;
    data_.uniqueName = uniqueName;
    data_.rootPolicyType = std::move(inner.policyType);
    data_.rootStorageType = std::move(inner.storageType);
    data_.nodes = std::move(inner.nodes);
}

void CDevicePolicyTransformer::CInDevicePolicyReader::BeginImport(const MigrationContext&,
                                                                  const Attributes& attributes) {
    policyType_ = ReadAttribute(attributes, L"PolicyType");
    storageType_ = ReadAttribute(attributes, L"StorageType");
    open_.assign(1, &nodes_);
}

void CDevicePolicyTransformer::CInDevicePolicyReader::StartNode(const std::wstring& name,
                                                                const Attributes& attributes) {
    if (name != kDeviceNode || open_.empty()) {
        return;
    }
    DeviceList& list = *open_.back();
    list.push_back(DeviceNode{attributes, {}});
    open_.push_back(&list.back().children);
}

void CDevicePolicyTransformer::CInDevicePolicyReader::EndNode(const std::wstring& name) {
    // The top-level list stays: every `dacsnode` that ends was pushed by its start.
    if (name == kDeviceNode && open_.size() > 1) {
        open_.pop_back();
    }
}

}  // namespace KvMigration
