#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"
#include "helper/ObjectData.h"
#include "helper/SchemaVersion.h"
#include "storage/LdapSchema.h"
#include "storage/LdapStorage.h"

namespace KvMigration {

// The one way sections reach the product storage: records in, records out.
class ILdapData {
public:
    virtual SchemaVersion GetSchemaVersion() const = 0;
    // The product version of the management server that runs the program.
    virtual SchemaVersion GetServerVersion() const = 0;
    virtual std::wstring GetServerSid() const = 0;
    virtual std::wstring GetSecurityDomainId() const = 0;
    // Empty when the storage has no such object.
    virtual ObjectDataPtr GetSingleObject(ObjectKind kind, const std::wstring& id) = 0;
    // By identifier; containers are the organisational units (and the domain) with policy links.
    virtual ObjectDataMap GetObjects(ObjectKind kind) = 0;
    // Updates existing servers and services, writing values read under the file's attribute
    // names under the storage's names.
    virtual void ImportObjects(const std::vector<ObjectDataPtr>& records) = 0;
    // Rebuilds the policy links of every container (and server) from the file's policies;
    // returns the number of policies created.
    virtual int ImportPolicies(const ObjectDataMap& containers, const ObjectDataMap& policies,
                               bool kvPolicyPriority) = 0;
    virtual bool IsDomainSubtreeContainer(const std::wstring& id) = 0;
    virtual ~ILdapData() = default;
};
using LdapDataPtr = std::shared_ptr<ILdapData>;

class CLdapData : public ILdapData {
public:
    // Import: the storage of the context, the target schema, and the data-schema version of the
    // migration file being imported. The imports record every object they write in the
    // context's journal.
    CLdapData(const MigrationContext& context, SchemaVersion fileVersion);
    // Without a context there is no journal: the imports record nothing.
    CLdapData(LdapStoragePtr storage, SchemaUse use);
    CLdapData(const MigrationContext& context, SchemaUse use);

    SchemaVersion GetSchemaVersion() const override;
    SchemaVersion GetServerVersion() const override;
    std::wstring GetServerSid() const override;
    std::wstring GetSecurityDomainId() const override;
    ObjectDataPtr GetSingleObject(ObjectKind kind, const std::wstring& id) override;
    ObjectDataMap GetObjects(ObjectKind kind) override;
    void ImportObjects(const std::vector<ObjectDataPtr>& records) override;
    int ImportPolicies(const ObjectDataMap& containers, const ObjectDataMap& policies,
                       bool kvPolicyPriority) override;
    bool IsDomainSubtreeContainer(const std::wstring& id) override;

    // From now on GetObjects reads each kind from the storage once and hands out copies of the
    // records; for a source that does not change while it is read.
    void KeepReads() { keepReads_ = true; }

    // Creates the record's object with the facade schema's attributes that it carries (others,
    // such as "source", are dropped); a policy also in the global catalogue.
    void CreateObject(const CObjectData& record);

private:
    ObjectDataPtr AssembleRecord(const CLdapObject& object, const CObjectSchema& schema) const;
    // Deletes a container's old policy unless a type keeps it; its version, 0 when it stays.
    int32_t DeleteOldPolicy(const std::wstring& id, bool alsoGlobalCatalogue);
    // Makes a policy of the file, in place of one of the same identifier.
    void MakePolicy(const CObjectData& policy);

    LdapStoragePtr storage_;
    LdapSchemaPtr schema_;
    MigrationJournalPtr journal_;
    SchemaVersion fileVersion_;
    bool keepReads_ = false;
    std::map<ObjectKind, ObjectDataMap> reads_;
};

// The values of a record that the object schema knows, in the record's order.
CObjectValues MakeObjectValues(const ObjectSchemaPtr& schema, const CObjectData& record);

}  // namespace KvMigration
