#include "sections/icheck/ICheckExporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "icheck/B64Str.h"
#include "icheck/ICheckReport.h"
#include "sections/icheck/ICheckJournal.h"

namespace KvMigration {
namespace {

// Closes what the exporter opened inside the section (the section writer never closes more), so
// that a failure part-way still leaves the file's elements where they belong.
void CloseOpenElements(ISaxWriter& writer) {
    while (!writer.EndNode().empty()) {
    }
}

// Why the export leaves out an object that the directory holds.
std::wstring LeftOutBecause(uint32_t type, uint64_t id) {
    if (type == static_cast<uint32_t>(ICheckTypeTimeStamp) &&
        id == static_cast<uint64_t>(ICheckTimeStampId)) {
        return L"the model time stamp; every import writes its own";
    }
    return L"objects of type " + std::to_wstring(type) + L" are not migrated";
}

}  // namespace

void ICheckExporter::Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ICheckExporter::Export] ");
    failedPlatforms_.clear();
    const StorageSession& storage = context.storage;
    const std::shared_ptr<LdapHelper::session>& session =
        storage.isLds ? storage.ldsSession : storage.adSession;
    for (const ICheckPlatform* platform : {&PlatformX86(), &PlatformX64()}) {
        try {
            if (!session) {
                KV_RAISE_ERROR(L"ICheckExporter::Export", L"No connection to the storage.");
            }
            ExportPlatform(*writer, *session, *platform, *context.journal);
        } catch (const KvBase::CKvError& e) {
            context.journal->RecordFailure(ICheckPlatformEvent(*platform, ObjectAction::Failed), e);
            ReportICheckError(e);
            PrintWarning(JoinMessage({L"Export Icheck model for ", platform->name,
                                      L" platform failed: ", e.Description()}),
                         KvBase::TraceError);
            failedPlatforms_.push_back(platform->name);
            CloseOpenElements(*writer);
        }
    }
}

void ICheckExporter::ExportPlatform(ISaxWriter& writer, LdapHelper::session& session,
                                    const ICheckPlatform& platform, MigrationJournal& journal) {
    PrintJoined({L"Starting export Icheck model for ", platform.name, L" platform"});
    // The objects are read before the platform's element is opened: a platform that cannot be
    // read leaves no element behind, which an import would take for an empty model.
    LdapHelper::object_list objects = session.search(
        LdapHelper::query(PlatformContainer(platform, session.default_naming_context()),
                          LdapHelper::SCOPE_SUBTREE,
                          L"(&(objectClass=" + platform.objectClass + L"))"),
        {ICheckIdAttribute, ICheckTypeAttribute, ICheckDataAttribute, L"distinguishedName"});
    writer.StartNode(platform.objectClass, L"");
    PrintJoined({std::to_wstring(objects.size()), L" objects found"});
    size_t exported = 0;
    for (const LdapHelper::object_ptr& object : objects) {
        const LdapHelper::attr_value id = object->get_attr(ICheckIdAttribute);
        const LdapHelper::attr_value type = object->get_attr(ICheckTypeAttribute);
        const ObjectEvent event = ICheckObjectEvent(
            id.to_string(), static_cast<int32_t>(type.to_ulong()),
            static_cast<int64_t>(id.to_uint64()), platform, ObjectAction::Exported);
        if (!IsExported(type.to_ulong(), id.to_uint64())) {
            ObjectEvent skipped = event;
            skipped.action = ObjectAction::Skipped;
            skipped.reason = LeftOutBecause(type.to_ulong(), id.to_uint64());
            journal.Record(std::move(skipped));
            continue;
        }
        const CB64Str body(object->get_attr(ICheckDataAttribute).data());
        writer.StartNode(ICheckObjectElement, L"");
        writer.WriteAttribute(ICheckIdAttribute, id.to_string());
        writer.WriteAttribute(ICheckTypeAttribute, type.to_string());
        writer.WriteAttribute(ICheckDataAttribute, body.Text());
        writer.EndNode();
        journal.Record(event);
        ++exported;
    }
    PrintJoined({std::to_wstring(exported), L" objects exported"});
    writer.EndNode();
    PrintJoined({L"Export Icheck model for ", platform.name, L" platform done"});
}

std::wstring ICheckExporter::MissingContent() const {
    std::wstring text;
    for (const std::wstring& name : failedPlatforms_) {
        text += (text.empty() ? L"" : L" ") + (L"The ICheck section lacks the integrity-check "
                                               L"model of the " +
                                               name + L" platform.");
    }
    return text;
}

}  // namespace KvMigration
