#pragma once

#include <exception>
#include <string>
#include <vector>

#include "transform/DevicePolicyData.h"
#include "transform/DevicePolicyTransformer.h"
#include "xml/Importer.h"

namespace KvMigration {

// Reads the outer document; registered for the path `Policies`. Each `Policy` element (the last
// one counts) has its `value` read as the inner document.
//
// The reader of the outer document drops every failure of StartNode, which is right for a
// `Policy` element missing an attribute (that element is left out) but would hide a failure of
// the inner document that must fail the whole value. Such a failure is kept for InnerFailure
// instead.
class CDevicePolicyTransformer::CExDevicePolicyReader : public IImporter {
public:
    const DevicePolicyData& Data() const { return data_; }
    DevicePolicyData TakeData() { return std::move(data_); }
    // The first failure of an inner document: a required attribute missing on its root
    // `policy`, or the document damaged. Null when there was none.
    std::exception_ptr InnerFailure() const { return innerFailure_; }

    // Raises code 87 when `guid`, `revision` or `type` is missing.
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    // Raises code 87 for a `Policy` without `type`, `uniqueName` or `value`, leaving the data
    // read before untouched.
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring&) override {}
    void EndImport() override {}

private:
    DevicePolicyData data_;
    std::exception_ptr innerFailure_;
};

// Reads the inner document; registered for the path `policy`.
class CDevicePolicyTransformer::CInDevicePolicyReader : public IImporter {
public:
    const std::wstring& PolicyType() const { return policyType_; }
    const std::wstring& StorageType() const { return storageType_; }
    DeviceList TakeNodes() { return std::move(nodes_); }

    // Raises code 87 when `PolicyType` or `StorageType` is missing.
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring& name) override;
    void EndImport() override {}

private:
    std::wstring policyType_;
    std::wstring storageType_;
    DeviceList nodes_;
    // The lists that the next `dacsnode` goes into, innermost last. Only the innermost list ever
    // grows, and none of its nodes' child lists is on the stack then, so the pointers stay valid.
    std::vector<DeviceList*> open_;
};

}  // namespace KvMigration
