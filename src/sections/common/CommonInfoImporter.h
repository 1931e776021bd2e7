#pragma once

#include <functional>
#include <utility>

#include "helper/SchemaVersion.h"
#include "sections/interfaces/ICommonInfo.h"
#include "xml/Importer.h"

namespace KvMigration {

// Reads the Common section; only the data-schema version is taken (the last SchemaVersion
// element wins). A broken element leaves the version as it was, so that asking for a version the
// file never gave raises code 1, with a description that says what the file lacks.
class CCommonInfoImporter : public ICommonInfo, public IImporter {
public:
    SchemaVersion DataSchemaVersion() const override;

    void SetLineSource(std::function<int()> line) override { line_ = std::move(line); }
    void BeginImport(const MigrationContext&, const Attributes&) override {}
    // Raises "The import file schema is broken." for a SchemaVersion without `major` or `minor`,
    // and std::invalid_argument / std::out_of_range for a number that is none.
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring&) override {}
    void EndImport() override {}

private:
    SchemaVersion version_;
    std::function<int()> line_;
    std::wstring broken_;  // what was wrong with the last SchemaVersion that could not be read
};

// The standard unsigned conversion: leading blanks skipped, digits read as far as they go.
// "invalid stoul argument" without digits, "stoul argument out of range" beyond 32 bits.
uint32_t ToUnsigned(const std::wstring& text);

}  // namespace KvMigration
