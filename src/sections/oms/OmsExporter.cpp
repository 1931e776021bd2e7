#include "sections/oms/OmsExporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Journaled.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "sections/oms/GroupPolicyLinks.h"
#include "sections/oms/ObjectElement.h"
#include "server/KvPolicy.h"
#include "server/PolicyValue.h"
#include "server/UaFilterExport.h"
#include "transform/JournalSchedule.h"
#include "transform/MailSettings.h"

#include <exception>

namespace KvMigration {
namespace {

constexpr uint32_t kFileNotFound = 2;
constexpr const wchar_t* kPolicyLink = L"orvexKVPolicyLink";

std::wstring UncRoot() {
    return Platform::OpenSystemRegistry()
        ->GetString(Platform::KeyKorvant, L"UncRoot")
        .value_or(L"/mnt");
}

// Runs a conversion of one object's values; a failure ends the export with a message that names
// the object and the value, so that the administrator can repair it.
template <typename Conversion>
void Convert(const CObjectData& record, const wchar_t* what, Conversion&& conversion) {
    std::wstring reason;
    try {
        conversion();
        return;
    } catch (const KvBase::CKvError& e) {
        reason = e.Description();
    } catch (const std::exception& e) {
        reason = Platform::AnsiToWide(e.what());
    }
    KV_RAISE_ERROR(L"OmsExporter::Export",
                   ObjectDescription(record.kind, record.id, record.name, record.canonicalName) +
                       L": " + what + L" cannot be exported: " + reason);
}

void SuccessLine(const CObjectData& record) {
    PrintMessage(ObjectDescription(record.kind, record.id, record.name, record.canonicalName) +
                 L" was successfully exported.");
}

}  // namespace

std::wstring GetServerConfigPath() {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::GetServerConfigPath] ");
    const wchar_t* function = L"OmsExporter::GetServerConfigPath";
    std::shared_ptr<const Platform::IRegistry> registry = Platform::OpenSystemRegistry();
    if (!registry->KeyExists(Platform::KeyKorvant)) {
        KV_RAISE_ERROR_CODE(function, kFileNotFound);
    }
    std::optional<std::wstring> folder =
        registry->GetString(Platform::KeyKorvant, L"TavisServerInstallDir");
    if (!folder) {
        KV_RAISE_ERROR_CODE(function, kFileNotFound);
    }
    std::optional<std::wstring> mapped = Platform::MapWindowsPath(*folder, UncRoot());
    if (!mapped) {
        KV_RAISE_ERROR(function,
                       FormatString(L"The server's install folder \"%ls\" in the registry "
                                    L"is a Windows path without a place on this "
                                    L"machine; set TavisServerInstallDir to the folder "
                                    L"that holds ServerConfig.xml.",
                                    folder->c_str()));
    }
    std::wstring path = *mapped;
    // The product stores the folder with its trailing separator; one typed without it is meant
    // the same way.
    if (!path.empty() && path.back() != L'/' && path.back() != L'\\') {
        path += L'/';
    }
    return path + L"ServerConfig.xml";
}

OmsExporter::OmsExporter(ExportStoragePtr storage)
    : storage_(storage ? std::move(storage) : std::make_shared<ExportStorage>()) {}

void OmsExporter::Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::Export] ");
    writer_ = std::move(writer);
    context_ = context;
    data_ = &storage_->Data(context_);
    std::set<std::wstring> linked;
    SaveServer(linked);
    SaveServices();
    SavePolicies(linked);
}

void OmsExporter::WriteObject(const CObjectData& record) {
    StartObjectElement(*writer_, record);
    writer_->EndNode();
    Exported(record);
}

void OmsExporter::Exported(const CObjectData& record) {
    SuccessLine(record);
    context_.journal->Record(ObjectElementName(record.kind), record.id, record.name,
                             ObjectAction::Exported);
}

void OmsExporter::SkipGroupPolicy(const std::wstring& dn, const std::wstring& reason) {
    context_.journal->Record(ObjectElementName(KindPolicy), dn, L"", ObjectAction::Skipped, reason);
}

void OmsExporter::SaveServer(std::set<std::wstring>& linked) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::SaveServer] ");
    ObjectDataMap servers = data_->GetObjects(KindServer);
    if (servers.size() > 1) {
        KV_RAISE_ERROR(L"OmsExporter::SaveServer", L"Too many servers");
    }
    if (servers.empty()) {
        KV_RAISE_ERROR(L"OmsExporter::SaveServer", L"No servers found");
    }
    CObjectData& server = *servers.begin()->second;
    Journaled(*context_.journal, server, [&] { WriteServer(server, linked); });
    Exported(server);
}

void OmsExporter::WriteServer(CObjectData& server, std::set<std::wstring>& linked) {
    if (auto links = server.attributes.find(kPolicyLink); links != server.attributes.end()) {
        linked.insert(links->second.texts.begin(), links->second.texts.end());
    }
    auto mail = server.attributes.find(L"orvexKVOMSMailSettings");
    if (mail != server.attributes.end() && !mail->second.IsEmpty()) {
        KvBase::TraceScope mailScope(KvBase::GetTrace(), "[OmsExporter::TransformMailSettings] ");
        Convert(server, L"orvexKVOMSMailSettings", [&] {
            mail->second = CValue(TransformMailSettingsText(mail->second.GetString()));
        });
    }
    Convert(server, L"the journal schedules",
            [&] { CJournalScheduleTransformer().Transform(server); });
    StartObjectElement(*writer_, server);
    {
        KvBase::TraceScope filterScope(KvBase::GetTrace(), "[OmsExporter::SaveUaFilter] ");
        SaveUaFilter(writer_, GetServerConfigPath());
    }
    writer_->EndNode();
}

void OmsExporter::SaveServices() {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::SaveServices] ");
    writer_->StartNode(L"Services", L"");
    for (auto& entry : data_->GetObjects(KindService)) {
        CObjectData& service = *entry.second;
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Save services ID = %ls", entry.first.c_str());
        Journaled(*context_.journal, service, [&] {
            Convert(service, L"the journal schedule",
                    [&] { CJournalScheduleTransformer().Transform(service); });
            WriteObject(service);
        });
    }
    writer_->EndNode();
}

std::vector<ObjectDataPtr> OmsExporter::DeriveGroupPolicies(CObjectData& container) {
    std::vector<ObjectDataPtr> derived;
    auto gpLink = container.attributes.find(L"gPLink");
    if (gpLink == container.attributes.end()) {
        return derived;
    }
    const std::wstring links = gpLink->second.isMulti ? std::wstring() : gpLink->second.text;
    container.attributes.erase(gpLink);
    if (links.empty()) {
        return derived;
    }
    const std::wstring uncRoot = UncRoot();
    for (const std::wstring& dn : EnabledGroupPolicyLinks(links)) {
        LdapHelper::object_ptr gpo =
            context_.storage.adSession->open_object(dn.c_str(), {L"gPCFileSysPath"});
        if (!gpo) {
            SkipGroupPolicy(dn, L"the linked group-policy object is not in the directory");
            continue;
        }
        std::vector<std::string> fileSysPath = gpo->get_attr(L"gPCFileSysPath").values();
        if (fileSysPath.empty()) {
            SkipGroupPolicy(dn, L"the group-policy object has no gPCFileSysPath");
            continue;
        }
        const std::wstring path =
            GroupPolicyTemplatePath(Platform::Utf8ToWide(fileSysPath.front()), uncRoot);
        ObjectDataPtr policy;
        Convert(container, (L"the template " + path).c_str(),
                [&] { policy = CreateKvPolicy(path); });
        if (policy) {
            policy->attributes[L"source"] = CValue(L"win");
            derived.push_back(policy);
        } else {
            SkipGroupPolicy(dn, L"the template " + path + L" gives no policy; the trace says why");
        }
    }
    return derived;
}

void OmsExporter::SavePolicies(std::set<std::wstring>& linked) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::SavePolicies] ");
    ObjectDataMap policies = data_->GetObjects(KindPolicy);
    for (auto& [id, policy] : policies) {
        policy->attributes[L"source"] = CValue(L"kv");
    }

    writer_->StartNode(L"Containers", L"");
    for (auto& [id, container] : data_->GetObjects(KindContainer)) {
        Journaled(*context_.journal, *container, [&] {
            std::vector<ObjectDataPtr> derived = DeriveGroupPolicies(*container);
            CValue& links = container->attributes[kPolicyLink];
            if (!links.isMulti) {
                links = CValue(std::vector<std::wstring>());
            }
            for (const ObjectDataPtr& policy : derived) {
                links.texts.push_back(policy->id);
                policies[policy->id] = policy;
            }
            linked.insert(links.texts.begin(), links.texts.end());
            if (!links.texts.empty()) {
                WriteObject(*container);
            }
        });
    }
    writer_->EndNode();

    writer_->StartNode(L"Policies", L"");
    for (auto& [id, policy] : policies) {
        if (linked.count(id) == 0) {
            continue;
        }
        Journaled(*context_.journal, *policy, [&] {
            for (const wchar_t* name : {L"orvexKVPolicyBase", L"orvexKVPolicyDevices"}) {
                auto document = policy->attributes.find(name);
                if (document != policy->attributes.end() && !document->second.IsEmpty()) {
                    Convert(*policy, name, [&] {
                        document->second =
                            CValue(TransformPolicyValue(document->second.GetString()));
                    });
                }
            }
            WriteObject(*policy);
        });
    }
    writer_->EndNode();
}

}  // namespace KvMigration
