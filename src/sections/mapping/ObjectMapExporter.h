#pragma once

#include <memory>

#include "storage/ExportStorage.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Writes the Mapping section: one Service element per service of the management server, in
// ascending identifier order, with oldId, oldName, newName (the same host name, for an
// administrator to edit) and cn.
class ExporterObjectMap : public IExporter {
public:
    // `storage` is the export pass's shared view of the source; null makes one of its own.
    explicit ExporterObjectMap(ExportStoragePtr storage = nullptr);
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;

private:
    ExportStoragePtr storage_;
};

}  // namespace KvMigration
