#pragma once

#include <memory>

#include "xml/Exporter.h"

namespace KvMigration {

// Writes the Mapping section: one Service element per service of the management server, in
// ascending identifier order, with oldId, oldName, newName (the same host name, for an
// administrator to edit) and cn.
class ExporterObjectMap : public IExporter {
public:
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;
};

}  // namespace KvMigration
