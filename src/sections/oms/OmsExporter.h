#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "helper/ObjectData.h"
#include "storage/ExportStorage.h"
#include "storage/LdapData.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Writes the Oms section: the management server (with the unauthorised-access filter of its
// configuration file as its last child), its services, the containers that link policies, and
// every policy linked from the server or those containers, including the product policies built
// from the group-policy templates the containers link. Mail settings, journal schedules and
// policy documents are brought into the target product's form on the way.
class OmsExporter : public IExporter {
public:
    // `storage` is the export pass's shared view of the source; null makes one of its own.
    explicit OmsExporter(ExportStoragePtr storage = nullptr);
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;

private:
    void SaveServer(std::set<std::wstring>& linked);
    // Converts the server's values and writes its element, the filter last.
    void WriteServer(CObjectData& server, std::set<std::wstring>& linked);
    void SaveServices();
    void SavePolicies(std::set<std::wstring>& linked);
    // The product policies of the templates the container's enabled group-policy links reach,
    // in link order; the container's gPLink leaves the record.
    std::vector<ObjectDataPtr> DeriveGroupPolicies(CObjectData& container);
    void WriteObject(const CObjectData& record);
    // The success line and the journal's event of a written object.
    void Exported(const CObjectData& record);
    // A group-policy link that gives no policy, named by the object's DN.
    void SkipGroupPolicy(const std::wstring& dn, const std::wstring& reason);

    std::shared_ptr<ISaxWriter> writer_;
    MigrationContext context_;
    ExportStoragePtr storage_;
    CLdapData* data_ = nullptr;
};

// The management server's configuration file: the registry's TavisServerInstallDir (a Windows
// path placed on this machine) followed by "ServerConfig.xml".
std::wstring GetServerConfigPath();

}  // namespace KvMigration
