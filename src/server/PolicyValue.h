#pragma once

#include <exception>
#include <memory>
#include <set>
#include <string>

#include "xml/Exporter.h"
#include "xml/Importer.h"

namespace KvMigration {

// The value a policy element carries after export: "AuthenticationMode" other than "2" becomes
// "0"; in "Prn", MandatLevel="0xffffffff" becomes MandatLevel="4294967295"; the rest unchanged.
std::wstring PolicyValueRule(const std::wstring& uniqueName, const std::wstring& value);

// A group of default policies that belong together: when a document sets some of them but not
// all, the missing ones are added with their default values.
class PoliciesGroupWriter {
public:
    // Each entry is the attribute set of one `Policy` element, including `uniqueName`.
    explicit PoliciesGroupWriter(std::set<Attributes> entries);
    // MaxKeyAge (360 days), MinKeyAge and KeyExpiryWarning (30 days), in seconds, type "String".
    static PoliciesGroupWriter KeyAgeGroup();

    // A policy of this name is in the document.
    void Remove(const std::wstring& uniqueName);
    // Writes the remaining entries as `Policy` elements when some, but not all, were removed.
    void WriteRemaining(ISaxWriter& writer) const;

private:
    std::set<Attributes> entries_;  // ordered by attribute sets
    size_t initialCount_;
};

// Copies a policy document (registered for the root "Policies") to a writer, applying the value
// rule to every element with a `uniqueName` and completing the key-age group. Text is dropped.
// A failure of the writer stops the copy and is kept for WriteFailure instead of being thrown:
// the reader would end the process for one at the root and drop one below it, leaving a copy
// with elements or attributes missing and its elements closed at the wrong depth.
class PoliciesImporter : public IImporter {
public:
    explicit PoliciesImporter(std::shared_ptr<ISaxWriter> writer);

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring& name) override;
    void EndImport() override {}

    // The writer's first failure; null when the document was copied whole.
    std::exception_ptr WriteFailure() const { return failure_; }

private:
    template <typename Step>
    void Write(Step&& step);

    std::shared_ptr<ISaxWriter> writer_;
    PoliciesGroupWriter keyAge_;
    size_t depth_ = 0;  // open elements below the root
    std::exception_ptr failure_;
};

// The normalised text of an `orvexKVPolicyBase` or `orvexKVPolicyDevices` value: empty for an
// empty text or a document whose root is not `Policies`; a text that is not well-formed XML
// raises the reader's description of the damage, one the writer cannot copy (a name it refuses)
// the writer's error.
std::wstring TransformPolicyValue(const std::wstring& text);

}  // namespace KvMigration
