#include "sections/client/NodeExporters.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/NodeConversions.h"
#include "client/NodeQueries.h"
#include "sections/client/ClientReport.h"

namespace KvMigration {

CNodeExporter::CNodeExporter(const CLdapSession& session, ISaxWriter& writer,
                             MigrationJournal& journal)
    : session_(&session), writer_(&writer), journal_(&journal) {}

void CNodeExporter::Release() {
    KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s::%s()", TypeName(), "CNodeExporter::Release");
    delete this;
}

template <class Query>
void CNodeExporter::ExportT(const std::optional<std::wstring>& name) {
    KvBase::ITrace& trace = KvBase::GetTrace();
    trace.Trace(KvBase::TraceInfo, "%s<%s>()++", "CNodeExporter::ExportT",
                KvMigration::TypeName<Query>::value);
    try {
        Query query(*session_);
        LdapHelper::object_list objects = query.search(name);
        PrintParts({L"Found ", std::to_wstring(objects.size()), query.category(), L" objects..."});
        for (LdapHelper::object_ptr& object : objects) {
            ExportObject<typename Query::HolderType>(*object, query.category());
            // Each object is let go once written, so the memory the search took shrinks as the
            // export goes on.
            object.reset();
        }
        PrintParts({L"Exported ", std::to_wstring(exported_), L" objects."});
        trace.Trace(KvBase::TraceInfo, "%s()--", "CNodeExporter::ExportT");
    } catch (const KvBase::CKvError& e) {
        RecordPartFailure(*journal_, Container(), e);
        ReportClientError(e);
    }
}

template <class Holder>
void CNodeExporter::ExportObject(const LdapHelper::object& object, const std::wstring& kind) {
    KvBase::ITrace& trace = KvBase::GetTrace();
    Holder record;
    const std::wstring cn = object.get_attr(L"cn").to_string();
    trace.Trace(KvBase::TraceInfo, L"%s<%s>(%ls)++", "CNodeExporter::ExportObject",
                KvMigration::TypeName<Holder>::value, cn.c_str());
    // What the record could not take is left out; what failed once the record was read is a
    // failure of the export.
    bool read = false;
    try {
        object >> record;
        read = true;
        // An object without any product attribute carries none of the product's data.
        if (!record.attributes.empty()) {
            *writer_ << record;
            ++exported_;
            journal_->Record(kind, record.name, cn, ObjectAction::Exported);
        } else {
            journal_->Record(kind, record.name, cn, ObjectAction::Skipped, L"no product data");
        }
        trace.Trace(KvBase::TraceInfo, "%s()--", "CNodeExporter::ExportObject");
    } catch (const KvBase::CKvError& e) {
        PrintParts({L"Client object ", cn, L" export finished with error: ", e.Description()});
        journal_->Record(kind, record.name.empty() ? cn : record.name, cn,
                         read ? ObjectAction::Failed : ObjectAction::Skipped, e.Description(),
                         e.Code());
        ReportClientError(e);
    }
}

void CGlobalNodeExporter::Export() {
    ExportT<GlobalQuery>(std::wstring(GlobalRecordName));
}

void CUsersNodeExporter::Export() {
    ExportT<UserQuery>(std::nullopt);
}

void CElidsNodeExporter::Export() {
    ExportT<ElidQuery>(std::nullopt);
}

}  // namespace KvMigration
