#include "sections/icheck/ICheckImporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "icheck/B64Str.h"
#include "icheck/CaseFold.h"
#include "icheck/GroupEntryBody.h"
#include "icheck/ICheckReport.h"
#include "icheck/JobBody.h"
#include "icheck/KvsSequence.h"
#include "icheck/ProductLocale.h"
#include "icheck/RestoreFile.h"
#include "icheck/ScenarioBody.h"
#include "icheck/SecId.h"
#include "sections/icheck/ICheckJournal.h"
#include "sections/icheck/ModelEraser.h"

#include <chrono>
#include <optional>

namespace KvMigration {
namespace {

// The names the old product gave its default resource-control job and scenario.
constexpr wchar_t kOldJobName[] = L"Задание для контроля ресурсов Korvant";
constexpr wchar_t kOldScenarioName[] = L"Контроль ресурсов Korvant";

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

KvBase::ITrace& Trace() {
    return KvBase::GetTrace();
}

const std::wstring* Find(const Attributes& attributes, const wchar_t* name) {
    auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : &found->second;
}

Body FileTimeBytes(uint64_t time) {
    Body bytes(8);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(time >> (8 * i));
    }
    return bytes;
}

}  // namespace

uint64_t SystemFileTime() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime +
           static_cast<uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100);
}

ICheckImporter::ICheckImporter(std::shared_ptr<IObjectMapper> mapper, Clock clock,
                               std::string restoreFolder)
    : mapper_(std::move(mapper)),
      clock_(std::move(clock)),
      restoreFolder_(std::move(restoreFolder)) {}

void ICheckImporter::BeginImport(const MigrationContext& context, const Attributes&) {
    context_ = context;
    session_ = context_.storage.ldsSession;
}

// The journal's event of an object of the file, as the object would be named in the target.
ObjectEvent ICheckImporter::FileObject(const Attributes& attributes, ObjectAction action) const {
    const std::wstring* type = Find(attributes, ICheckTypeAttribute);
    const std::wstring* id = Find(attributes, ICheckIdAttribute);
    return ICheckObjectEvent(id ? *id : std::wstring(), type ? ParseICheckType(*type) : 0,
                             id ? ParseICheckId(*id) : 0, refused_ ? *refused_ : *platform_,
                             action);
}

void ICheckImporter::Contain(const std::wstring& step, const std::function<void()>& work,
                             const std::optional<ObjectEvent>& subject) {
    try {
        work();
    } catch (const KvBase::CKvError& e) {
        if (subject) {
            context_.journal->RecordFailure(*subject, e);
        }
        state_ = e.Code();
        ReportICheckError(e);
        // Besides the trace, the administrator sees what was left out.
        PrintWarning(step + L" failed: " + e.Description(), KvBase::TraceError);
    }
}

void ICheckImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    Trace().Trace(KvBase::TraceInfo, L"StartNode, node name %ls", name.c_str());
    if (state_ == AccessDenied) {
        Trace().Trace(KvBase::TraceError, L"Access denied, return");
        return;
    }
    for (const ICheckPlatform* platform : {&PlatformX86(), &PlatformX64()}) {
        if (name == platform->objectClass) {
            // StartPlatform records its failure itself: it may be one object's deletion.
            Contain(
                L"Starting import Icheck model for " + platform->name + L" platform",
                [&] { StartPlatform(*platform); }, std::nullopt);
            return;
        }
    }
    if (platform_->id == PlatformUndefined().id) {
        Trace().Trace(KvBase::TraceInfo, L"StartNode, wrong platform state: %ls",
                      platform_->name.c_str());
        if (name == ICheckObjectElement) {
            ObjectEvent skipped = FileObject(attributes, ObjectAction::Skipped);
            skipped.reason = refused_ != nullptr ? L"the target's model of the " + refused_->name +
                                                       L" platform could not be erased and is kept"
                                                 : L"outside any platform element";
            context_.journal->Record(std::move(skipped));
        }
        return;
    }
    if (name != ICheckObjectElement) {
        Trace().Trace(KvBase::TraceInfo, L"StartNode, wrong node name");
        return;
    }
    const std::wstring* type = Find(attributes, ICheckTypeAttribute);
    const std::wstring* id = Find(attributes, ICheckIdAttribute);
    Contain(
        L"Import of the object of type " + (type ? *type : L"?") + L" with the identifier " +
            (id ? *id : L"?") + L" (" + platform_->name + L" platform)",
        [&] { ImportObject(attributes); }, FileObject(attributes, ObjectAction::Failed));
}

void ICheckImporter::StartPlatform(const ICheckPlatform& platform) {
    platform_ = &platform;
    count_ = 0;
    PrintJoined({L"Starting import Icheck model for ", platform.name, L" platform"});
    std::optional<ModelEraser> eraser;
    try {
        if (!session_) {
            KV_RAISE_ERROR(L"ICheckImporter::StartNode", L"No connection to the security domain.");
        }
        eraser.emplace(*session_, platform, BaseDn(),
                       restoreFolder_.empty() ? RestoreFolder() : restoreFolder_,
                       *context_.journal);
        clientsList_ = eraser->Erase();
    } catch (const KvBase::CKvError& e) {
        if (!eraser || !eraser->FailureRecorded()) {
            context_.journal->RecordFailure(ICheckPlatformEvent(platform, ObjectAction::Failed), e);
        }
        // Objects written over a model that is still whole would mix two models; left as it is,
        // the target keeps the one it had.
        if (eraser && eraser->Deleted() == 0) {
            platform_ = &PlatformUndefined();
            refused_ = &platform;
            notImported_.push_back(L"The integrity-check model of the " + platform.name +
                                   L" platform was not imported (" + e.Description() +
                                   L"); the target keeps its previous model.");
            PrintWarning(L"Nothing of the target's model of the " + platform.name +
                             L" platform was erased; the file's objects of that platform are not "
                             L"imported.",
                         KvBase::TraceError);
        }
        throw;
    }
}

void ICheckImporter::ImportObject(const Attributes& attributes) {
    const std::wstring* type = Find(attributes, ICheckTypeAttribute);
    const std::wstring* id = Find(attributes, ICheckIdAttribute);
    const std::wstring* data = Find(attributes, ICheckDataAttribute);
    if (type == nullptr || id == nullptr || data == nullptr) {
        Trace().Trace(KvBase::TraceInfo, L"StartNode, attribute not found");
        ObjectEvent skipped = FileObject(attributes, ObjectAction::Skipped);
        skipped.reason = L"lacks its identifier, type or body";
        context_.journal->Record(std::move(skipped));
        return;
    }
    const CB64Str decoded(*data);
    const int32_t typeNumber = ParseICheckType(*type);
    const Body body = AdaptBody(typeNumber, decoded.Bytes());
    const std::wstring dn = ICheckObjectDn(typeNumber, ParseICheckId(*id), *platform_, BaseDn());
    LdapHelper::object_ptr object =
        session_->add_object(dn.c_str(), platform_->objectClass.c_str());
    object->set_attr(ICheckIdAttribute, LdapHelper::attr_value(*id));
    object->set_attr(ICheckTypeAttribute, LdapHelper::attr_value(*type));
    object->set_attr(ICheckDataAttribute, LdapHelper::attr_value(body));
    object->commit();
    context_.journal->Record(FileObject(attributes, ObjectAction::Created));
    ++count_;
}

Body ICheckImporter::AdaptBody(int32_t type, const Body& body) {
    switch (type) {
        case ICheckTypeGroup:
            return AdaptGroupEntry(body);
        case ICheckTypeJob: {
            JobBody job(body);
            if (EqualsIgnoreCase(job.Name(), kOldJobName)) {
                return job.Renamed(LocalizedJobName());
            }
            return body;
        }
        case ICheckTypeScenario: {
            ScenarioBody scenario(body);
            if (EqualsIgnoreCase(scenario.Name(), kOldScenarioName)) {
                PrintMessage(L"Replacing scenario in default KV task");
                const std::wstring name = LocalizedScenarioName();
                return scenario.Rewritten(name, CKVSSequence(name, *platform_));
            }
            return body;
        }
        default:
            return body;
    }
}

Body ICheckImporter::AdaptGroupEntry(const Body& body) {
    GroupEntryBody entry(body);
    if (EqualsIgnoreCase(entry.Name(), platform_->defaultGroupName)) {
        PrintMessage(L"Replacing clients list in default group");
        return entry.WithClientsList(clientsList_);
    }
    if (entry.Kind() != GroupEntryBody::KindClient || !mapper_) {
        return body;
    }
    const CSecID oldSid(entry.ClientSid());
    const std::wstring newName = mapper_->GetNewName(oldSid.Text());
    const std::wstring newSid = mapper_->MapServiceSid(oldSid.Text());
    if (newName.empty() || newSid.empty()) {
        return body;
    }
    PrintJoined({L"Replacing client", oldSid.Text(), L"to", newSid});
    return entry.ForClient(CSecID(newSid).Bytes(), newName);
}

void ICheckImporter::Value(const std::wstring&) {}

void ICheckImporter::EndNode(const std::wstring& name) {
    Trace().Trace(KvBase::TraceInfo, L"EndNode, node name %ls", name.c_str());
    if (refused_ != nullptr && name == refused_->objectClass) {
        refused_ = nullptr;
    }
    if (platform_->id == PlatformUndefined().id || name != platform_->objectClass) {
        return;
    }
    Contain(
        L"Finishing import Icheck model for " + platform_->name + L" platform",
        [&] { EndPlatform(); }, TimeStampEvent(ObjectAction::Failed));
}

ObjectEvent ICheckImporter::TimeStampEvent(ObjectAction action) const {
    return ICheckObjectEvent(std::to_wstring(ICheckTimeStampId), ICheckTypeTimeStamp,
                             ICheckTimeStampId, *platform_, action);
}

void ICheckImporter::EndPlatform() {
    PrintJoined({L"Finishing import Icheck model for ", platform_->name, L" platform"});
    const std::wstring dn =
        ICheckObjectDn(ICheckTypeTimeStamp, ICheckTimeStampId, *platform_, BaseDn());
    LdapHelper::object_ptr stamp = session_->add_object(dn.c_str(), platform_->objectClass.c_str());
    stamp->set_attr(ICheckIdAttribute, LdapHelper::attr_value(std::to_wstring(ICheckTimeStampId)));
    stamp->set_attr(ICheckTypeAttribute,
                    LdapHelper::attr_value(std::to_wstring(ICheckTypeTimeStamp)));
    stamp->set_attr(ICheckDataAttribute, LdapHelper::attr_value(FileTimeBytes(clock_())));
    stamp->commit();
    context_.journal->Record(TimeStampEvent(ObjectAction::Created));
    platform_ = &PlatformUndefined();
    PrintJoined({std::to_wstring(count_ + 1), L" objects imported"});
}

void ICheckImporter::EndImport() {
    if (state_ == AccessDenied) {
        KV_RAISE_ERROR_CODE(L"ICheckImporter::EndImport", AccessDenied);
    }
    if (!notImported_.empty()) {
        std::wstring text;
        for (const std::wstring& sentence : notImported_) {
            text += (text.empty() ? L"" : L" ") + sentence;
        }
        notImported_.clear();
        KV_RAISE_ERROR(L"ICheckImporter::EndImport", text);
    }
}

std::wstring ICheckImporter::BaseDn() const {
    std::wstring dn = session_ ? session_->server().context_dn : std::wstring();
    if (dn.empty()) {
        KV_RAISE_ERROR(L"ICheckImporter::BaseDn",
                       L"The security domain of the target storage is unknown; the "
                       L"integrity-check model is written below it.");
    }
    return dn;
}

}  // namespace KvMigration
