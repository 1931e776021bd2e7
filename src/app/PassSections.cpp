// The section exporters and importers of the two passes: the one place that assembles them. A
// section without its classes yet is written empty on export and read past on import.
#include "app/Passes.h"
#include "sections/client/ClientExporter.h"
#include "sections/client/ClientImporter.h"
#include "sections/common/CommonInfoExporter.h"
#include "sections/common/CommonInfoImporter.h"
#include "sections/icheck/ICheckExporter.h"
#include "sections/icheck/ICheckImporter.h"
#include "sections/mapping/ObjectMapExporter.h"
#include "sections/mapping/ObjectMapImporter.h"
#include "sections/oms/OmsExporter.h"
#include "sections/oms/OmsImporter.h"

namespace KvMigration {
namespace {

// The sections of one export share one view of the source storage, so it is discovered once
// and each kind of object read once.
class ExportSections : public IExportSections {
public:
    std::shared_ptr<IExporter> Mapping(const MigrationContext&) override {
        return std::make_shared<ExporterObjectMap>(storage_);
    }
    std::shared_ptr<IExporter> Common(const MigrationContext&) override {
        return std::make_shared<CCommonInfoExporter>(storage_);
    }
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override {
        return std::make_shared<OmsExporter>(storage_);
    }
    std::shared_ptr<IExporter> Client(const MigrationContext&) override {
        return std::make_shared<ClientExporter>();
    }
    std::shared_ptr<IExporter> ICheck(const MigrationContext&) override {
        return std::make_shared<ICheckExporter>();
    }

private:
    ExportStoragePtr storage_ = std::make_shared<ExportStorage>();
};

// The object map and the common information, once made, are kept to be handed to the data
// section importers.
class ImportSections : public IImportSections {
public:
    std::shared_ptr<IImporter> Mapping(const MigrationContext&) override {
        objectMap_ = std::make_shared<ImporterObjectMap>();
        return objectMap_;
    }
    std::shared_ptr<IImporter> Common(const MigrationContext&) override {
        commonInfo_ = std::make_shared<CCommonInfoImporter>();
        return commonInfo_;
    }
    std::shared_ptr<IImporter> Oms(const MigrationContext& context) override {
        return std::make_shared<OmsImporter>(objectMap_, commonInfo_, context.sections);
    }
    std::shared_ptr<IImporter> Client(const MigrationContext&) override {
        return std::make_shared<ClientImporter>(objectMap_);
    }
    std::shared_ptr<IImporter> ICheck(const MigrationContext&) override {
        return std::make_shared<ICheckImporter>(objectMap_);
    }

private:
    std::shared_ptr<ImporterObjectMap> objectMap_;
    std::shared_ptr<CCommonInfoImporter> commonInfo_;
};

}  // namespace

std::unique_ptr<IExportSections> MakeExportSections() {
    return std::make_unique<ExportSections>();
}

std::unique_ptr<IImportSections> MakeImportSections() {
    return std::make_unique<ImportSections>();
}

}  // namespace KvMigration
