#include "sections/common/CommonInfoExporter.h"

#include "base/Trace.h"
#include "platform/CodePage.h"
#include "storage/LdapData.h"

#include <string>

namespace KvMigration {

std::wstring ExportDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64] = {};
    size_t length = std::strftime(text, sizeof text, "%d-%m-%Y %H:%M", &local);
    return Platform::AnsiToWide(std::string_view(text, length));
}

CCommonInfoExporter::CCommonInfoExporter(ExportStoragePtr storage, Clock clock)
    : storage_(storage ? std::move(storage) : std::make_shared<ExportStorage>()),
      clock_(std::move(clock)) {}

void CCommonInfoExporter::Export(std::shared_ptr<ISaxWriter> writer,
                                 const MigrationContext& context) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CCommonInfoExporter::Export] ");
    CLdapData& data = storage_->Data(context);

    writer->StartNode(L"Date", ExportDate(clock_()));
    writer->EndNode();

    const SchemaVersion version = data.GetSchemaVersion();
    writer->StartNode(L"SchemaVersion", L"");
    writer->WriteAttribute(L"major", std::to_wstring(version.major));
    writer->WriteAttribute(L"minor", std::to_wstring(version.minor));
    writer->EndNode();

    writer->StartNode(L"DomainId", data.GetSecurityDomainId());
    writer->EndNode();
    // The section's one record: the source's data-schema version and its security domain.
    context.journal->Record(L"SchemaVersion", data.GetSecurityDomainId(),
                            std::to_wstring(version.major) + L"." + std::to_wstring(version.minor),
                            ObjectAction::Exported);
}

}  // namespace KvMigration
