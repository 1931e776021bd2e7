#include "sections/oms/ObjectProcessors.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Journaled.h"
#include "transform/DevicePolicyTransformer.h"

#include <algorithm>

namespace KvMigration {
namespace {

constexpr const wchar_t* kAlreadyMigrated = L"already migrated; use -fi";

void Skip(const MigrationContext& context, const CObjectData& record, const std::wstring& id,
          const wchar_t* reason) {
    context.journal->Record(ObjectElementName(record.kind), id, record.name, ObjectAction::Skipped,
                            reason);
}

// Whether the selection writes objects of the kind; what it leaves alone is not recorded.
bool Selected(const std::set<int>& sections, ObjectKind kind) {
    switch (kind) {
        case KindServer:
            return sections.count(SectionServer) != 0 || sections.count(SectionPolicies) != 0;
        case KindService:
            return sections.count(SectionClients) != 0;
        default:
            return sections.count(SectionPolicies) != 0;
    }
}

// A record whose identifier became empty: the mapper found no computer of that name in the
// target domain (it has said so), or the file gave none.
void RecordDrop(const MigrationContext& context, const CObjectData& record,
                const std::wstring& fileId) {
    if (fileId.empty()) {
        Skip(context, record, record.name, L"no identifier in the file");
    } else {
        Skip(context, record, fileId, L"no computer with that name in the target domain");
    }
}

// The server passes through a server processor once for each selection that writes it, so its
// skips are recorded here, once.
void RecordServerSkips(const MigrationContext& context, const std::set<int>& sections,
                       const ImportBuckets& buckets, const CObjectData& server) {
    if (sections.count(SectionServer) != 0 && buckets.servers.count(server.id) == 0) {
        Skip(context, server, server.id, kAlreadyMigrated);
    }
    if (sections.count(SectionPolicies) != 0 && buckets.containers.count(server.id) == 0) {
        Skip(context, server, server.id, L"policies already migrated; use -fi");
    }
}

}  // namespace

void OmsServerProcessor::PrepareObject(CObjectData& record, IObjectMapper& mapper) {
    if (record.kind == KindServer) {
        record.id = mapper.GetServerSid();
    }
}

void OmsServerProcessor::ProcessObject(ILdapData& data, ImportBuckets& buckets,
                                       const ObjectDataPtr& record) {
    if (record->kind != KindServer) {
        return;
    }
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsServerProcessor::ProcessObject] ");
    ObjectDataPtr existing = data.GetSingleObject(KindServer, record->id);
    if (!existing) {
        KV_RAISE_ERROR(L"OmsServerProcessor::ProcessObject",
                       FormatString(L"Not found self server (%ls)", record->id.c_str()));
    }
    if (context_.forceImport || !existing->objectMigrated) {
        buckets.servers[record->id] = record;
    }
    if (context_.forceImport || !existing->policyMigrated) {
        buckets.containers[record->id] = record;
    }
    if (!context_.importPrivileges) {
        record->attributes.erase(L"orvexKVOMSSecurityDescriptor");
    }
}

void OmsServiceProcessor::PrepareObject(CObjectData& record, IObjectMapper& mapper) {
    if (record.kind == KindService) {
        record.id = mapper.MapServiceSid(record.id);
    }
}

void OmsServiceProcessor::ProcessObject(ILdapData& data, ImportBuckets& buckets,
                                        const ObjectDataPtr& record) {
    if (record->kind != KindService) {
        return;
    }
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsServiceProcessor::ProcessObject] ");
    ObjectDataPtr existing = data.GetSingleObject(KindService, record->id);
    if (!existing) {
        PrintWarning(L"Service " + record->id + L" not found in LDS", KvBase::TraceError);
        Skip(context_, *record, record->id, L"not found in the target storage");
        return;
    }
    if (context_.forceImport || !existing->objectMigrated) {
        buckets.services[record->id] = record;
    } else {
        Skip(context_, *record, record->id, kAlreadyMigrated);
    }
}

void OmsContainerProcessor::ProcessObject(ILdapData& data, ImportBuckets& buckets,
                                          const ObjectDataPtr& record) {
    if (record->kind != KindContainer) {
        return;
    }
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsContainerProcessor::ProcessObject] ");
    if (!data.IsDomainSubtreeContainer(record->id)) {
        PrintWarning(L"Container " + record->id + L" is not domain subtree container.");
        Skip(context_, *record, record->id, L"not a domain subtree container");
        return;
    }
    ObjectDataPtr existing = data.GetSingleObject(KindContainer, record->id);
    if (!existing) {
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Container %ls not found in LDS",
                                 record->id.c_str());
    }
    if (!existing || context_.forceImport || !existing->policyMigrated) {
        buckets.containers[record->id] = record;
    } else {
        Skip(context_, *record, record->id, kAlreadyMigrated);
    }
}

void OmsPolicyProcessor::ProcessObject(ILdapData& data, ImportBuckets& buckets,
                                       const ObjectDataPtr& record) {
    if (record->kind != KindPolicy) {
        return;
    }
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsPolicyProcessor::ProcessObject] ");
    TransformDevicePolicy(*record, data.GetServerVersion());
    buckets.policies[record->id] = record;
}

void OmsGroupProcessor::ProcessObject(ILdapData& data, ImportBuckets& buckets,
                                      const ObjectDataPtr& record) {
    for (const ObjectProcessorPtr& member : members_) {
        member->ProcessObject(data, buckets, record);
    }
}

void OmsGroupProcessor::PrepareObject(CObjectData& record, IObjectMapper& mapper) {
    for (const ObjectProcessorPtr& member : members_) {
        member->PrepareObject(record, mapper);
    }
}

std::shared_ptr<OmsGroupProcessor> MakeProcessorGroup(const MigrationContext& context,
                                                      const std::set<int>& sections) {
    auto group = std::make_shared<OmsGroupProcessor>();
    if (sections.count(SectionServer) != 0) {
        group->Add(std::make_shared<OmsServerProcessor>(context));
        group->Add(std::make_shared<OmsPolicyProcessor>());
    }
    if (sections.count(SectionClients) != 0) {
        group->Add(std::make_shared<OmsServiceProcessor>(context));
    }
    if (sections.count(SectionPolicies) != 0) {
        group->Add(std::make_shared<OmsServerProcessor>(context));
        group->Add(std::make_shared<OmsContainerProcessor>(context));
        group->Add(std::make_shared<OmsPolicyProcessor>());
    }
    return group;
}

ImportBuckets LdapReader::Read(const MigrationContext& context, ILdapData& data,
                               IObjectMapper& mapper, std::vector<ObjectDataPtr> records,
                               const std::set<int>& sections) {
    std::shared_ptr<OmsGroupProcessor> group = MakeProcessorGroup(context, sections);
    for (const ObjectDataPtr& record : records) {
        const std::wstring fileId = record->id;
        Journaled(*context.journal, *record, [&] { group->PrepareObject(*record, mapper); });
        if (record->id.empty() && Selected(sections, record->kind)) {
            RecordDrop(context, *record, fileId);
        }
    }
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const ObjectDataPtr& record) { return record->id.empty(); }),
                  records.end());
    ImportBuckets buckets;
    for (const ObjectDataPtr& record : records) {
        Journaled(*context.journal, *record, [&] { group->ProcessObject(data, buckets, record); });
        if (record->kind == KindServer) {
            RecordServerSkips(context, sections, buckets, *record);
        }
    }
    const ObjectDataMap lost = EraseLostPolicies(buckets.containers, buckets.policies);
    if (sections.count(SectionPolicies) != 0) {
        for (const auto& [id, policy] : lost) {
            Skip(context, *policy, id, L"no container of the import links it");
        }
    }
    return buckets;
}

ObjectDataMap EraseLostPolicies(const ObjectDataMap& containers, ObjectDataMap& policies) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[LdapReader::EraseLostPolicies] ");
    ObjectDataMap lost;
    for (auto policy = policies.begin(); policy != policies.end();) {
        const bool linked =
            std::any_of(containers.begin(), containers.end(), [&](const auto& container) {
                auto links = container.second->attributes.find(L"orvexKVPolicyLink");
                if (links == container.second->attributes.end()) {
                    return false;
                }
                const CValue& value = links->second;
                return value.isMulti ? std::find(value.texts.begin(), value.texts.end(),
                                                 policy->first) != value.texts.end()
                                     : value.text == policy->first;
            });
        if (linked) {
            ++policy;
            continue;
        }
        KvBase::GetTrace().Trace(
            KvBase::TraceInfo,
            L"The container for the policy with link=%ls was not found or out of domain AD "
            L"subtree.",
            policy->first.c_str());
        lost.insert(*policy);
        policy = policies.erase(policy);
    }
    return lost;
}

}  // namespace KvMigration
