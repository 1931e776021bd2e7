#include "storage/LdapData.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "storage/LdapValue.h"

#include <algorithm>
#include <map>

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kInvalidParameter = 87;
constexpr const wchar_t* kPolicyLink = L"orvexKVPolicyLink";

StorageKind KindOf(const CLdapStorage& storage) {
    return storage.IsLds() ? StorageKind::Lds : StorageKind::ActiveDirectory;
}

std::vector<std::wstring> LinksOf(const CObjectData& record) {
    auto found = record.attributes.find(kPolicyLink);
    return found == record.attributes.end() ? std::vector<std::wstring>()
                                            : found->second.GetMultiString();
}

// A policy derived from a group-policy template carries "source" = "win".
bool IsGroupPolicy(const CObjectData& policy) {
    auto found = policy.attributes.find(L"source");
    return found != policy.attributes.end() && !found->second.isMulti &&
           found->second.text == L"win";
}

}  // namespace

CObjectValues MakeObjectValues(const ObjectSchemaPtr& schema, const CObjectData& record) {
    CObjectValues values;
    values.schema = schema;
    values.id = record.id;
    for (const auto& [name, value] : record.attributes) {
        if (AttributePtr attribute = CLdapSchema::FindAttribute(*schema, name)) {
            values.values.emplace_back(attribute, value);
        }
    }
    return values;
}

CLdapData::CLdapData(const MigrationContext& context, SchemaVersion fileVersion)
    : CLdapData(std::make_shared<CLdapStorage>(context.storage, context.serverSid),
                SchemaUse::Target) {
    fileVersion_ = fileVersion;
}

CLdapData::CLdapData(LdapStoragePtr storage, SchemaUse use)
    : storage_(std::move(storage)),
      schema_(std::make_shared<CLdapSchema>(storage_->GetSchemaVersion(), KindOf(*storage_), use)) {
}

CLdapData::CLdapData(const MigrationContext& context, SchemaUse use)
    : CLdapData(std::make_shared<CLdapStorage>(context.storage, context.serverSid), use) {}

SchemaVersion CLdapData::GetSchemaVersion() const {
    return schema_->Version();
}

SchemaVersion CLdapData::GetServerVersion() const {
    return storage_->GetProductVersion();
}

std::wstring CLdapData::GetServerSid() const {
    return storage_->ServerSid();
}

std::wstring CLdapData::GetSecurityDomainId() const {
    return storage_->SecurityDomainId();
}

bool CLdapData::IsDomainSubtreeContainer(const std::wstring& id) {
    return storage_->IsDomainSubtreeContainer(id);
}

// An attribute the entry lacks stays empty, whatever its type: reading it as "0", "false" or the
// zero GUID would make the import write a value the source never had.
ObjectDataPtr CLdapData::AssembleRecord(const CLdapObject& object,
                                        const CObjectSchema& schema) const {
    auto record = std::make_shared<CObjectData>();
    record->kind = schema.kind;
    record->id = object.id;
    record->name = object.name;
    record->canonicalName = object.canonicalName;
    record->objectMigrated = object.objectMigrated;
    record->policyMigrated = object.policyMigrated;
    for (const AttributePtr& attribute : schema.attributes) {
        LdapHelper::attr_value values = object.entry->get_attr(attribute->Name());
        CValue value;
        if (attribute->Type() == AttributeType::MultiString) {
            value = CValue(values.to_list());
        } else if (!values.empty()) {
            value = CValue(StringFromLdapValue(attribute->Type(), values));
        }
        record->attributes[attribute->Name()] = std::move(value);
    }
    return record;
}

ObjectDataPtr CLdapData::GetSingleObject(ObjectKind kind, const std::wstring& id) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::GetSingleObject] ");
    const ObjectSchemaPtr schema = schema_->GetObjectSchema(kind);
    LdapObjectPtr object = storage_->GetLdapObject(*schema, id);
    return object ? AssembleRecord(*object, *schema) : nullptr;
}

ObjectDataMap CLdapData::GetObjects(ObjectKind kind) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::GetObjects] ");
    auto kept = reads_.find(kind);
    if (kept == reads_.end()) {
        ObjectDataMap records;
        if (kind == KindContainer) {
            records = storage_->GetContainers();
        } else {
            const ObjectSchemaPtr schema = schema_->GetObjectSchema(kind);
            for (const CLdapObject& object :
                 storage_->GetLdapObjects(*schema, NotFoundMode::Warn)) {
                records[object.id] = AssembleRecord(object, *schema);
            }
        }
        if (!keepReads_) {
            return records;
        }
        kept = reads_.emplace(kind, std::move(records)).first;
    }
    ObjectDataMap copies;
    for (const auto& [id, record] : kept->second) {
        copies.emplace(id, std::make_shared<CObjectData>(*record));
    }
    return copies;
}

void CLdapData::CreateObject(const CObjectData& record) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::CreateObject] ");
    storage_->CreateObject(MakeObjectValues(schema_->GetObjectSchema(record.kind), record),
                           record.kind == KindPolicy);
}

void CLdapData::ImportObjects(const std::vector<ObjectDataPtr>& records) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::ImportObjects] ");
    CLdapSchema importSchema(fileVersion_, StorageKind::Lds, SchemaUse::Target);
    std::vector<CObjectValues> objects;
    objects.reserve(records.size());
    for (const ObjectDataPtr& record : records) {
        if (record->kind != KindServer && record->kind != KindService) {
            KV_RAISE_ERROR_CODE(L"CLdapData::ImportObjects", kInvalidParameter);
        }
        objects.push_back(MakeObjectValues(importSchema.GetObjectSchema(record->kind), *record));
    }
    // The collected pairs hold the schema's attribute objects: the renames of the upgrade steps
    // reach them, so values read under the file's names are written under the storage's.
    importSchema.ApplyVersion(storage_->GetSchemaVersion());
    for (const CObjectValues& values : objects) {
        storage_->SetObject(values);
    }
}

int CLdapData::ImportPolicies(const ObjectDataMap& containers, const ObjectDataMap& policies,
                              bool kvPolicyPriority) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::ImportPolicies] ");
    CLdapSchema importSchema(fileVersion_, StorageKind::Lds, SchemaUse::Target);
    const ObjectSchemaPtr policySchema = schema_->GetObjectSchema(KindPolicy);
    int count = 0;
    for (const auto& [id, container] : containers) {
        std::vector<std::wstring> links = LinksOf(*container);
        std::map<std::wstring, ObjectDataPtr> linked;
        bool anyGroupPolicy = false;
        bool anyProduct = false;
        for (const std::wstring& link : links) {
            auto found = policies.find(link);
            if (found == policies.end()) {
                KV_RAISE_ERROR(L"CLdapData::ImportPolicies",
                               FormatString(L"Policy %ls not found in backup", link.c_str()));
            }
            (IsGroupPolicy(*found->second) ? anyGroupPolicy : anyProduct) = true;
            linked[link] = found->second;
        }
        if (anyGroupPolicy && anyProduct) {
            // The side that does not have priority leaves the map and every place in the links.
            for (auto it = linked.begin(); it != linked.end();) {
                if (IsGroupPolicy(*it->second) == kvPolicyPriority) {
                    const std::wstring dropped = it->first;
                    links.erase(std::remove(links.begin(), links.end(), dropped), links.end());
                    it = linked.erase(it);
                } else {
                    ++it;
                }
            }
        }

        // The new policies number on from the highest old product policy of this container.
        int32_t maximum = 0;
        if (ObjectDataPtr existing = GetSingleObject(container->kind, id)) {
            for (const std::wstring& old : LinksOf(*existing)) {
                LdapObjectPtr policy = storage_->GetLdapObject(*policySchema, old);
                if (policy && FirstText(policy->entry->get_attr(L"orvexKVPolicyType")).empty()) {
                    maximum = std::max(maximum,
                                       policy->entry->get_attr(L"orvexKVPolicyVersion").to_int());
                    storage_->DeletePolicy(*policySchema, old, container->kind == KindServer);
                }
            }
        } else if (container->kind == KindServer) {
            KV_RAISE_ERROR(L"CLdapData::ImportPolicies", L"Server not found.");
        } else if (container->kind == KindContainer) {
            CreateObject(*container);
        } else {
            KV_RAISE_ERROR_CODE(L"CLdapData::ImportPolicies", kInvalidData);
        }

        storage_->SetPolicyLink(*importSchema.GetObjectSchema(container->kind), id, links);
        for (const auto& [policyId, policy] : linked) {
            policy->attributes[L"orvexKVPolicyVersion"] = CValue(std::to_wstring(maximum + 1));
            // The file's policy may be in the target already: an earlier import made it, and
            // a type kept it from the deletion above (or another container of this run links
            // it too). It is made again from the file, as the first import made it, instead of
            // ending the run on an object that exists; its global-catalogue copy is updated in
            // place by the creation.
            if (storage_->GetLdapObject(*policySchema, policyId)) {
                storage_->DeletePolicy(*policySchema, policyId, false);
            }
            CreateObject(*policy);
        }
        count += static_cast<int>(linked.size());
    }
    return count;
}

}  // namespace KvMigration
