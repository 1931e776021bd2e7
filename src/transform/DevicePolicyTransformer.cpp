#include "transform/DevicePolicyTransformer.h"

#include <memory>
#include <utility>

#include "base/KvError.h"
#include "transform/DevicePolicyReaders.h"
#include "transform/DevicePolicyWriter.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;

}  // namespace

const std::wstring& CDevicePolicyTransformer::ReadAttribute(const Attributes& attributes,
                                                            const std::wstring& name) {
    auto found = attributes.find(name);
    if (found == attributes.end()) {
        KV_RAISE_ERROR_CODE(L"CDevicePolicyTransformer::ReadAttribute", kErrorInvalidParameter);
    }
    return found->second;
}

DevicePolicyData CDevicePolicyTransformer::ReadDocument(const std::wstring& text) {
    auto reader = std::make_shared<CExDevicePolicyReader>();
    {
        SaxReader sax(XmlSource{text}, MigrationContext{});
        sax.RegisterImporter(L"Policies", reader);
        sax.Resume();
        if (reader->InnerFailure()) {
            std::rethrow_exception(reader->InnerFailure());
        }
        if (sax.Outcome() == ReadOutcome::Damaged) {
            KV_RAISE_ERROR(
                L"CDevicePolicyTransformer::ReadDocument",
                std::wstring(DevicePolicyAttribute) + L": " + sax.DamagedDocumentError());
        }
    }
    return reader->TakeData();
}

std::optional<std::wstring> CDevicePolicyTransformer::TransformText(
    const std::wstring& text, SchemaVersion serverVersion) const {
    DevicePolicyData data = ReadDocument(text);
    if (!data.HasInnerData()) {
        return std::nullopt;
    }
    return CDevicePolicyWriter(UpdateSteps(serverVersion)).Write(std::move(data));
}

void CDevicePolicyTransformer::Transform(CObjectData& record, SchemaVersion serverVersion) const {
    auto found = record.attributes.find(DevicePolicyAttribute);
    // The attribute holds one document; a list is nothing this code knows how to rewrite.
    if (found == record.attributes.end() || found->second.isMulti || found->second.text.empty()) {
        return;
    }
    if (std::optional<std::wstring> text = TransformText(found->second.text, serverVersion)) {
        found->second = CValue(std::move(*text));
    }
}

void TransformDevicePolicy(CObjectData& record, SchemaVersion serverVersion) {
    CDevicePolicyTransformer().Transform(record, serverVersion);
}

}  // namespace KvMigration
