#include "storage/LdapData.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "helper/Journaled.h"
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

void Record(const MigrationJournalPtr& journal, ObjectKind kind, const std::wstring& id,
            const std::wstring& name, ObjectAction action, std::wstring reason = {}) {
    if (journal) {
        journal->Record(ObjectElementName(kind), id, name, action, std::move(reason));
    }
}

// The file's policies a container links, by identifier.
std::map<std::wstring, ObjectDataPtr> LinkedPolicies(const std::vector<std::wstring>& links,
                                                     const ObjectDataMap& policies) {
    std::map<std::wstring, ObjectDataPtr> linked;
    for (const std::wstring& link : links) {
        auto found = policies.find(link);
        if (found == policies.end()) {
            KV_RAISE_ERROR(L"CLdapData::ImportPolicies",
                           FormatString(L"Policy %ls not found in backup", link.c_str()));
        }
        linked[link] = found->second;
    }
    return linked;
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
    : CLdapData(context, SchemaUse::Target) {
    fileVersion_ = fileVersion;
}

CLdapData::CLdapData(LdapStoragePtr storage, SchemaUse use)
    : storage_(std::move(storage)),
      schema_(std::make_shared<CLdapSchema>(storage_->GetSchemaVersion(), KindOf(*storage_), use)) {
}

CLdapData::CLdapData(const MigrationContext& context, SchemaUse use)
    : CLdapData(std::make_shared<CLdapStorage>(context.storage, context.serverSid), use) {
    journal_ = context.journal;
}

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
        Journaled(journal_.get(), record->kind, record->id, record->name, [&] {
            if (record->kind != KindServer && record->kind != KindService) {
                KV_RAISE_ERROR_CODE(L"CLdapData::ImportObjects", kInvalidParameter);
            }
        });
        objects.push_back(MakeObjectValues(importSchema.GetObjectSchema(record->kind), *record));
    }
    // The collected pairs hold the schema's attribute objects: the renames of the upgrade steps
    // reach them, so values read under the file's names are written under the storage's.
    importSchema.ApplyVersion(storage_->GetSchemaVersion());
    for (size_t i = 0; i < objects.size(); ++i) {
        const CObjectData& record = *records[i];
        Journaled(journal_.get(), record.kind, record.id, record.name,
                  [&] { storage_->SetObject(objects[i]); });
        Record(journal_, record.kind, record.id, record.name, ObjectAction::Updated);
    }
}

int CLdapData::ImportPolicies(const ObjectDataMap& containers, const ObjectDataMap& policies,
                              bool kvPolicyPriority) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapData::ImportPolicies] ");
    CLdapSchema importSchema(fileVersion_, StorageKind::Lds, SchemaUse::Target);
    int count = 0;
    for (const auto& [id, container] : containers) {
        const CObjectData& owner = *container;
        std::vector<std::wstring> links = LinksOf(owner);
        std::map<std::wstring, ObjectDataPtr> linked;
        ObjectDataPtr existing;
        Journaled(journal_.get(), owner.kind, id, owner.name, [&] {
            linked = LinkedPolicies(links, policies);
            existing = GetSingleObject(owner.kind, id);
        });
        const bool anyGroupPolicy = std::any_of(
            linked.begin(), linked.end(), [](const auto& p) { return IsGroupPolicy(*p.second); });
        const bool anyProduct = std::any_of(
            linked.begin(), linked.end(), [](const auto& p) { return !IsGroupPolicy(*p.second); });
        if (anyGroupPolicy && anyProduct) {
            // The side that does not have priority leaves the map and every place in the links.
            for (auto it = linked.begin(); it != linked.end();) {
                if (IsGroupPolicy(*it->second) == kvPolicyPriority) {
                    const std::wstring dropped = it->first;
                    links.erase(std::remove(links.begin(), links.end(), dropped), links.end());
                    Record(journal_, KindPolicy, dropped, it->second->name, ObjectAction::Skipped,
                           kvPolicyPriority
                               ? L"the container's product policies have priority (-kvpol)"
                               : L"the container's group policies have priority (-winpol)");
                    it = linked.erase(it);
                } else {
                    ++it;
                }
            }
        }

        // The new policies number on from the highest old product policy of this container.
        int32_t maximum = 0;
        if (existing) {
            for (const std::wstring& old : LinksOf(*existing)) {
                maximum = std::max(maximum, DeleteOldPolicy(old, owner.kind == KindServer));
            }
        }
        Journaled(journal_.get(), owner.kind, id, owner.name, [&] {
            if (!existing) {
                if (owner.kind == KindServer) {
                    KV_RAISE_ERROR(L"CLdapData::ImportPolicies", L"Server not found.");
                }
                if (owner.kind != KindContainer) {
                    KV_RAISE_ERROR_CODE(L"CLdapData::ImportPolicies", kInvalidData);
                }
                CreateObject(owner);
            }
            storage_->SetPolicyLink(*importSchema.GetObjectSchema(owner.kind), id, links);
        });
        Record(journal_, owner.kind, id, owner.name,
               existing ? ObjectAction::Updated : ObjectAction::Created, L"policy links rebuilt");

        for (const auto& [policyId, policy] : linked) {
            policy->attributes[L"orvexKVPolicyVersion"] = CValue(std::to_wstring(maximum + 1));
            MakePolicy(*policy);
        }
        count += static_cast<int>(linked.size());
    }
    return count;
}

int32_t CLdapData::DeleteOldPolicy(const std::wstring& id, bool alsoGlobalCatalogue) {
    const ObjectSchemaPtr policySchema = schema_->GetObjectSchema(KindPolicy);
    int32_t version = 0;
    bool deleted = false;
    Journaled(journal_.get(), KindPolicy, id, L"", [&] {
        LdapObjectPtr policy = storage_->GetLdapObject(*policySchema, id);
        if (policy && FirstText(policy->entry->get_attr(L"orvexKVPolicyType")).empty()) {
            version = policy->entry->get_attr(L"orvexKVPolicyVersion").to_int();
            storage_->DeletePolicy(*policySchema, id, alsoGlobalCatalogue);
            deleted = true;
        }
    });
    if (deleted) {
        Record(journal_, KindPolicy, id, L"", ObjectAction::Deleted);
    }
    return version;
}

void CLdapData::MakePolicy(const CObjectData& policy) {
    const ObjectSchemaPtr policySchema = schema_->GetObjectSchema(KindPolicy);
    bool replaced = false;
    Journaled(journal_.get(), KindPolicy, policy.id, policy.name, [&] {
        // The file's policy may be in the target already: an earlier import made it, and a type
        // kept it from the deletion of old policies (or another container of this run links it
        // too). It is made again from the file, as the first import made it, instead of ending
        // the run on an object that exists; its global-catalogue copy is updated in place by the
        // creation.
        if (storage_->GetLdapObject(*policySchema, policy.id)) {
            storage_->DeletePolicy(*policySchema, policy.id, false);
            replaced = true;
        }
        CreateObject(policy);
    });
    Record(journal_, KindPolicy, policy.id, policy.name,
           replaced ? ObjectAction::Updated : ObjectAction::Created);
}

}  // namespace KvMigration
