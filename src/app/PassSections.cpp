// The section exporters and importers of the two passes. Each section's issue plugs its classes in
// here; until then a section is written empty on export and read past on import.
#include "app/Passes.h"

namespace KvMigration {
namespace {

class ExportSections : public IExportSections {
public:
    // ExporterObjectMap
    std::shared_ptr<IExporter> Mapping(const MigrationContext&) override { return nullptr; }
    // CCommonInfoExporter
    std::shared_ptr<IExporter> Common(const MigrationContext&) override { return nullptr; }
    // OmsExporter
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override { return nullptr; }
    // ClientExporter
    std::shared_ptr<IExporter> Client(const MigrationContext&) override { return nullptr; }
    // ICheckExporter
    std::shared_ptr<IExporter> ICheck(const MigrationContext&) override { return nullptr; }
};

// The object map and the common information, once made, are kept here to be handed to the data
// section importers.
class ImportSections : public IImportSections {
public:
    // ImporterObjectMap, kept as the IObjectMapper of the data sections.
    std::shared_ptr<IImporter> Mapping(const MigrationContext&) override { return nullptr; }
    // CCommonInfoImporter, kept as the ICommonInfo of the Oms section.
    std::shared_ptr<IImporter> Common(const MigrationContext&) override { return nullptr; }
    // OmsImporter(object map, common information, context.sections)
    std::shared_ptr<IImporter> Oms(const MigrationContext&) override { return nullptr; }
    // ClientImporter(object map)
    std::shared_ptr<IImporter> Client(const MigrationContext&) override { return nullptr; }
    // ICheckImporter(object map)
    std::shared_ptr<IImporter> ICheck(const MigrationContext&) override { return nullptr; }
};

}  // namespace

std::unique_ptr<IExportSections> MakeExportSections() {
    return std::make_unique<ExportSections>();
}

std::unique_ptr<IImportSections> MakeImportSections() {
    return std::make_unique<ImportSections>();
}

}  // namespace KvMigration
