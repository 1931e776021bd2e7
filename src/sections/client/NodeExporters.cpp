#include "sections/client/NodeExporters.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/NodeConversions.h"
#include "client/NodeQueries.h"
#include "sections/client/ClientReport.h"

namespace KvMigration {

CNodeExporter::CNodeExporter(const CLdapSession& session, ISaxWriter& writer)
    : session_(&session), writer_(&writer) {}

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
            ExportObject<typename Query::HolderType>(*object);
            // Each object is let go once written, so the memory the search took shrinks as the
            // export goes on.
            object.reset();
        }
        PrintParts({L"Exported ", std::to_wstring(exported_), L" objects."});
        trace.Trace(KvBase::TraceInfo, "%s()--", "CNodeExporter::ExportT");
    } catch (const KvBase::CKvError& e) {
        ReportClientError(e);
    }
}

template <class Holder>
void CNodeExporter::ExportObject(const LdapHelper::object& object) {
    KvBase::ITrace& trace = KvBase::GetTrace();
    Holder record;
    const std::wstring cn = object.get_attr(L"cn").to_string();
    trace.Trace(KvBase::TraceInfo, L"%s<%s>(%ls)++", "CNodeExporter::ExportObject",
                KvMigration::TypeName<Holder>::value, cn.c_str());
    try {
        object >> record;
        // An object without any product attribute carries none of the product's data.
        if (!record.attributes.empty()) {
            *writer_ << record;
            ++exported_;
        }
        trace.Trace(KvBase::TraceInfo, "%s()--", "CNodeExporter::ExportObject");
    } catch (const KvBase::CKvError& e) {
        PrintParts({L"Client object ", cn, L" export finished with error: ", e.Description()});
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
