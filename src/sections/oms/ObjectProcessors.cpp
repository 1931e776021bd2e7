#include "sections/oms/ObjectProcessors.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "transform/DevicePolicyTransformer.h"

#include <algorithm>

namespace KvMigration {

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
        return;
    }
    if (context_.forceImport || !existing->objectMigrated) {
        buckets.services[record->id] = record;
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
        return;
    }
    ObjectDataPtr existing = data.GetSingleObject(KindContainer, record->id);
    if (!existing) {
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Container %ls not found in LDS",
                                 record->id.c_str());
    }
    if (!existing || context_.forceImport || !existing->policyMigrated) {
        buckets.containers[record->id] = record;
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
        group->PrepareObject(*record, mapper);
    }
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const ObjectDataPtr& record) { return record->id.empty(); }),
                  records.end());
    ImportBuckets buckets;
    for (const ObjectDataPtr& record : records) {
        group->ProcessObject(data, buckets, record);
    }
    EraseLostPolicies(buckets.containers, buckets.policies);
    return buckets;
}

void EraseLostPolicies(const ObjectDataMap& containers, ObjectDataMap& policies) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[LdapReader::EraseLostPolicies] ");
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
        policy = policies.erase(policy);
    }
}

}  // namespace KvMigration
