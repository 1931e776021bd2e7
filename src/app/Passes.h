#pragma once

#include <memory>

#include "app/InputParameters.h"
#include "helper/MigrationContext.h"
#include "xml/Exporter.h"
#include "xml/Importer.h"

namespace KvMigration {

// Makes the exporter of each section for one export pass; a null exporter leaves its section
// empty. Called once each, in the order of the methods.
class IExportSections {
public:
    virtual std::shared_ptr<IExporter> Mapping(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IExporter> Common(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IExporter> Oms(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IExporter> Client(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IExporter> ICheck(const MigrationContext& context) = 0;
    virtual ~IExportSections() = default;
};

// Makes the importer of each selected section for one import pass; a null importer leaves its
// section unread. Mapping and Common are always called first, in this order, so that the others
// can be given the object map and the common information; the rest only when selected.
class IImportSections {
public:
    virtual std::shared_ptr<IImporter> Mapping(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IImporter> Common(const MigrationContext& context) = 0;
    // The selection decides which of servers, client computers and policies it imports.
    virtual std::shared_ptr<IImporter> Oms(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IImporter> Client(const MigrationContext& context) = 0;
    virtual std::shared_ptr<IImporter> ICheck(const MigrationContext& context) = 0;
    virtual ~IImportSections() = default;
};

// The program's own section exporters and importers.
std::unique_ptr<IExportSections> MakeExportSections();
std::unique_ptr<IImportSections> MakeImportSections();

// Writes the whole migration file: the fixed skeleton, each section filled by its exporter when
// the section element opens. Every section is exported whatever the section keys say. A section
// that an exporter could not complete (MissingContent) is raised once the file is written.
// Every object the pass handles is recorded in `journal` (a journal of its own when null).
void ExportData(const InputParameters& parameters, const StorageSession& session,
                IExportSections& sections, MigrationJournalPtr journal = nullptr);
// Reads the migration file once, handing each selected section to its importer. A file that is
// not well-formed is raised as an error once everything before the damage has been imported.
void ImportData(const InputParameters& parameters, const StorageSession& session,
                IImportSections& sections, MigrationJournalPtr journal = nullptr);

// The run's pass stage: the export or the import pass, any failure reported through the fatal
// output ("An exception occurred during %s: %s", the error object's description, or "An
// unhandled exception occurred during %s.", with "export" or "import"). Once a section has
// begun, the pass's summary (SummaryLines) follows on standard output, after a failure before
// the fatal output.
void RunPassStage(const InputParameters& parameters, const StorageSession& session,
                  MigrationJournalPtr journal = nullptr);
void RunPassStage(const InputParameters& parameters, const StorageSession& session,
                  IExportSections& exportSections, IImportSections& importSections,
                  MigrationJournalPtr journal = nullptr);

}  // namespace KvMigration
