#pragma once

#include <memory>
#include <string>

#include "client/ClientSession.h"
#include "helper/MigrationContext.h"
#include "sections/client/NodeExporters.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Writes the Client section: the containers Globals, Users and Elids, each with one element per
// client object of the source storage (an AD LDS global catalogue, or Active Directory) that
// carries product data. Errors are reported and contained per object, query, container and
// section; none leaves Export. The journal learns of every object found and of every part that
// failed: the section (kind "Client"), a container, an object.
class ClientExporter : public IExporter {
public:
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;
    // The section goes on after a part fails to be read or written; the run must then not end
    // as a success.
    std::wstring MissingContent() const override;

    bool CheckExportContext(const MigrationContext& context);
    void ExportNode(const std::wstring& name);
    // Empty for a name that is no container of the section.
    std::shared_ptr<INodeExporter> CreateNodeExporter(const std::wstring& name);

private:
    CLdapSession session_;
    std::shared_ptr<ISaxWriter> writer_;
    MigrationJournalPtr journal_;
    uint64_t failed_ = 0;
    void ExportSection(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context);
};

}  // namespace KvMigration
