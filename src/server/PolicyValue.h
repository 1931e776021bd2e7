#pragma once

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
class PoliciesImporter : public IImporter {
public:
    explicit PoliciesImporter(std::shared_ptr<ISaxWriter> writer);

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring& name) override;
    void EndImport() override {}

private:
    std::shared_ptr<ISaxWriter> writer_;
    PoliciesGroupWriter keyAge_;
    size_t depth_ = 0;  // open elements below the root
};

// The normalised text of an `orvexKVPolicyBase` or `orvexKVPolicyDevices` value: empty for an
// empty text or a document whose root is not `Policies`; a text that is not well-formed XML
// raises the reader's description of the damage.
std::wstring TransformPolicyValue(const std::wstring& text);

}  // namespace KvMigration
