#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/ClientSession.h"
#include "client/NodeHolder.h"
#include "helper/MigrationContext.h"
#include "sections/client/NodeImporters.h"
#include "sections/interfaces/IObjectMapper.h"
#include "xml/Importer.h"

namespace KvMigration {

// Reads the Client section and writes each record into the target's security domain: found by
// name below its kind's base or created there, its product attributes written and committed, one
// record at a time as the file is read. A record that fails is reported and skipped; a refusal for
// lack of rights stops the section and, at its end, the run. The journal learns of every record
// and of a section that could not be imported at all (kind "Client").
class ClientImporter : public IImporter {
public:
    // The mapper of the import pass; client objects keep their identifiers, so it is not used.
    explicit ClientImporter(std::shared_ptr<IObjectMapper> mapper = nullptr);

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring& text) override;
    void EndNode(const std::wstring& name) override;
    void EndImport() override;

    bool CheckImportContext(const MigrationContext& context);
    // Empty for a container and for any name that is no record element.
    std::shared_ptr<INodeImporter> CreateNodeImporter(const std::wstring& name);

    const ClientImportCounters& Counters() const { return counters_; }

private:
    // The guards of StartNode and Value: false when the element is to be ignored.
    bool Working(const char* function);
    // Ends the section after the target went away, saying what was imported before.
    [[noreturn]] void RaiseConnectionLost() const;

    std::shared_ptr<IObjectMapper> mapper_;
    MigrationContext context_;
    CLdapSession session_;
    CNodeHolder record_;
    uint32_t state_ = 0;  // 5 once refused for lack of rights, the failure's code once the
                          // target went away; nothing more is imported then
    bool active_ = false;
    bool initialised_ = false;
    ClientImportCounters counters_;
};

}  // namespace KvMigration
