#include "sections/mapping/ObjectMapExporter.h"

#include "base/Trace.h"
#include "storage/LdapData.h"

namespace KvMigration {

ExporterObjectMap::ExporterObjectMap(ExportStoragePtr storage)
    : storage_(storage ? std::move(storage) : std::make_shared<ExportStorage>()) {}

void ExporterObjectMap::Export(std::shared_ptr<ISaxWriter> writer,
                               const MigrationContext& context) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ExporterObjectMap::Export] ");
    for (const auto& [id, service] : storage_->Data(context).GetObjects(KindService)) {
        writer->StartNode(L"Service", L"");
        writer->WriteAttribute(L"oldId", service->id);
        writer->WriteAttribute(L"oldName", service->name);
        writer->WriteAttribute(L"newName", service->name);
        writer->WriteAttribute(L"cn", service->canonicalName);
        writer->EndNode();
        context.journal->Record(L"Service", service->id, service->name, ObjectAction::Exported);
    }
}

}  // namespace KvMigration
