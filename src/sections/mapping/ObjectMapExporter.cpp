#include "sections/mapping/ObjectMapExporter.h"

#include "base/Trace.h"
#include "storage/LdapData.h"

namespace KvMigration {

void ExporterObjectMap::Export(std::shared_ptr<ISaxWriter> writer,
                               const MigrationContext& context) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ExporterObjectMap::Export] ");
    CLdapData data(std::make_shared<CLdapStorage>(context.storage, context.serverSid),
                   SchemaUse::Source);
    for (const auto& [id, service] : data.GetObjects(KindService)) {
        writer->StartNode(L"Service", L"");
        writer->WriteAttribute(L"oldId", service->id);
        writer->WriteAttribute(L"oldName", service->name);
        writer->WriteAttribute(L"newName", service->name);
        writer->WriteAttribute(L"cn", service->canonicalName);
        writer->EndNode();
    }
}

}  // namespace KvMigration
